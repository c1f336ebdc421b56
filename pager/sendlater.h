#pragma once
// The send-later queue (wait.dat): messages waiting for their date and time.

#include "platform/ansistring.h"

#include <QDateTime>

#include <optional>
#include <string>
#include <vector>

inline constexpr const char* WaitFile = "wait.dat";

struct TQueueEntry {
    AnsiString Date;  // "DD.MM.YYYY HH:MM"; empty once the entry is done
    AnsiString To;    // the contact's name
    AnsiString Text;  // the message as typed; CR LF between lines
};

// The caption of an entry due at the date and time.
AnsiString QueueCaption(const QDate& Date, const QTime& Time);

// The due date and time of a caption, read in the fixed form the program
// writes (day.month.year hours:minutes, seconds optional; one or two digits
// each but the year), whatever the locale. Nothing when it cannot be read.
std::optional<QDateTime> ParseQueueCaption(const AnsiString& Caption);

enum class TDue { NotYet, Due, Unreadable };
// Due when its day is before today, or it is today and its time is before
// the time now (an entry of exactly now is not due yet).
TDue QueueDue(const AnsiString& Caption, const QDateTime& Now);

// Every section of the file in file order ("|" in a text is a line break).
std::vector<TQueueEntry> LoadQueue(const std::string& FileName);
// Writes every entry as "Message1", "Message2", ... at once; an empty queue
// deletes the file.
void SaveQueue(const std::string& FileName, const std::vector<TQueueEntry>& Entries);
