#include "platform/clock.h"

namespace sysclock {
namespace {
std::function<QDateTime()>& source()
{
    static std::function<QDateTime()> s;
    return s;
}
}  // namespace

QDateTime now()
{
    if (const auto& s = source()) return s();
    return QDateTime::currentDateTime();
}

void setSource(std::function<QDateTime()> s) { source() = std::move(s); }

}  // namespace sysclock
