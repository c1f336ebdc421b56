#include "platform/ui/shell.h"

#include <QDesktopServices>

namespace shell {

namespace {

std::function<bool(const QUrl&)>& handler()
{
    static std::function<bool(const QUrl&)> h;
    return h;
}

}  // namespace

bool open(const QUrl& Url)
{
    if (handler()) return handler()(Url);
    return QDesktopServices::openUrl(Url);
}

void setOpenHandler(std::function<bool(const QUrl&)> Handler) { handler() = std::move(Handler); }

}  // namespace shell
