#include "platform/clock.h"

#include <chrono>

namespace sysclock {
namespace {
// What a test put in place of a clock.
template <class T>
std::function<T()>& replaced()
{
    static std::function<T()> s;
    return s;
}
}  // namespace

QDateTime now()
{
    if (const auto& s = replaced<QDateTime>()) return s();
    return QDateTime::currentDateTime();
}

void setSource(std::function<QDateTime()> s) { replaced<QDateTime>() = std::move(s); }

uint32_t tickCount()
{
    if (const auto& s = replaced<uint32_t>()) return s();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

void setTickSource(std::function<uint32_t()> s) { replaced<uint32_t>() = std::move(s); }

}  // namespace sysclock
