#pragma once
// The desktop shell: opening a web page or a mail link with the user's
// preferred program.

#include <QUrl>

#include <functional>

namespace shell {

// Asks the desktop to open Url ("mailto:..." starts the mail program, "http:"
// the browser); False when it could not. Never blocks on the program started.
bool open(const QUrl& Url);

// Tests: every open() goes to Handler instead of the desktop; an empty
// Handler puts the desktop back.
void setOpenHandler(std::function<bool(const QUrl&)> Handler);

}  // namespace shell
