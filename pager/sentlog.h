#pragma once
// The log of sent messages (messages.dat): one row per message and contact,
// newest first. It holds up to CountLogMsg + 1 rows while the program runs
// and keeps CountLogMsg of them in the file.

#include "platform/ansistring.h"

#include <QDateTime>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

inline constexpr const char* LogFile = "messages.dat";

struct TLogRow {
    AnsiString To;    // the contact's name
    AnsiString Date;  // DD.MM.YYYY HH:MM:SS
    AnsiString Text;  // the message as typed; CR LF between lines
};

// The date column of a row sent at Now.
AnsiString LogDate(const QDateTime& Now);

// Puts Row first, then drops the last row while the rows but one outnumber
// CountLogMsg: up to CountLogMsg + 1 rows stay, none for a negative one.
void AddLogRow(std::vector<TLogRow>& Rows, TLogRow Row, int32_t CountLogMsg);

// Every section of the file, in file order ("|" in a text is a line break).
std::vector<TLogRow> LoadLog(const std::string& FileName);

// Writes the newest CountLogMsg rows as "Message1", "Message2", ... at once
// (a new file renamed over the old one); no rows leave no file; with
// CountLogMsg 0 the file is not touched.
void SaveLog(const std::string& FileName, const std::vector<TLogRow>& Rows, int32_t CountLogMsg);

// The log as the program holds it while it runs; the window shows its rows.
class TSentLog {
public:
    explicit TSentLog(std::string FileName) : fileName_(std::move(FileName)) {}

    const std::string& FileName() const noexcept { return fileName_; }
    const std::vector<TLogRow>& Rows() const noexcept { return rows_; }
    size_t Count() const noexcept { return rows_.size(); }
    const TLogRow& Row(size_t Index) const { return rows_.at(Index); }

    // Appends every section of the file.
    void Load();
    // The row of a message just sent goes first; the cut of AddLogRow.
    void Add(TLogRow Row, int32_t CountLogMsg) { AddLogRow(rows_, std::move(Row), CountLogMsg); }
    // Writes the file as SaveLog does.
    void Save(int32_t CountLogMsg) const { SaveLog(fileName_, rows_, CountLogMsg); }
    // Every row goes; the file follows at the next save.
    void Clear() noexcept { rows_.clear(); }

private:
    std::string fileName_;
    std::vector<TLogRow> rows_;
};
