# The commands of the README:
#   make run         builds Pager and starts it
#   make run-dialer  builds OrvDialer and starts it
#   make clean       removes what the builds made, keeping the program
#                    folder's settings and data files
#   make test        installs what is missing, builds, and runs every test
#                    (once normally, once under AddressSanitizer and UBSan,
#                    and the dialer's tests under ThreadSanitizer)

JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan

.PHONY: all deps configure build run run-dialer test test-plain test-asan test-tsan clean

all: build

deps:
	bash scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORV_WERROR=ON

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Each builds only the program it starts (with what that program loads), not
# the tests and benchmarks.
run: configure
	cmake --build $(BUILD) -j $(JOBS) --target Pager
	$(BUILD)/bin/Pager

run-dialer: configure
	cmake --build $(BUILD) -j $(JOBS) --target OrvDialer
	$(BUILD)/bin/OrvDialer

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300

# The sanitizers' settings reach every test and every program a test starts.
SAN_ENV = ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=ON -DORV_WERROR=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && $(SAN_ENV) ctest --output-on-failure -j $(JOBS) --timeout 600

# The remote access service's thread and the components it notifies, under
# ThreadSanitizer: the tests labelled tsan (every test of the dialer, with
# and without its window), the ones that run that thread.
TSAN_ENV = TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/tests/tsan.supp
test-tsan: deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DSANITIZE_THREAD=ON -DORV_WERROR=ON
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target dialer_tests dialer_gui_tests
	cd $(TSAN_BUILD) && $(TSAN_ENV) ctest --output-on-failure -j $(JOBS) --timeout 600 -L tsan

test: test-plain test-asan test-tsan

# The program folder $(BUILD)/bin holds the user's settings and data files
# (pager.ini, book.dat, the received operator database...): the normal build
# loses only what the build made there; the sanitizer builds go whole.
clean:
	if [ -f $(BUILD)/CMakeCache.txt ]; then cmake --build $(BUILD) --target clean; fi
	rm -rf $(ASAN_BUILD) $(TSAN_BUILD)
