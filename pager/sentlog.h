#pragma once
// The log of sent messages (messages.dat): one row per message and contact,
// newest first. It holds up to CountLogMsg + 1 rows while the program runs
// and keeps CountLogMsg of them in the file.

#include "platform/ansistring.h"

#include <QDateTime>

#include <string>
#include <vector>

inline constexpr const char* LogFile = "messages.dat";

struct TLogRow {
    AnsiString To;    // the contact's name
    AnsiString Date;  // DD.MM.YYYY HH:MM:SS
    AnsiString Text;  // the message as typed; CR LF between lines
};

// The date column of a row sent at Now.
AnsiString LogDate(const QDateTime& Now);

// Puts Row first and drops the oldest rows beyond CountLogMsg + 1.
void AddLogRow(std::vector<TLogRow>& Rows, TLogRow Row, int32_t CountLogMsg);

// Every section of the file, in file order ("|" in a text is a line break).
std::vector<TLogRow> LoadLog(const std::string& FileName);

// Writes the newest CountLogMsg rows as "Message1", "Message2", ... at once
// (a new file renamed over the old one); no rows leave no file; with
// CountLogMsg 0 the file is not touched.
void SaveLog(const std::string& FileName, const std::vector<TLogRow>& Rows, int32_t CountLogMsg);
