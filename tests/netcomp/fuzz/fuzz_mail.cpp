// libFuzzer target of the mail parser and codecs (built by scripts/fuzz-mail).
#include "tests/netcomp/fuzz/mail_fuzz.h"

#include <QCoreApplication>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // The decoders let the application handle its events as they go.
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzMailInput(data, size);
    return 0;
}
