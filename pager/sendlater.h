#pragma once
// The send-later queue (wait.dat): messages waiting for their date and time.

#include "platform/ansistring.h"

#include <QDateTime>

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
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

// The names of the contacts shown, looked up ignoring case (the Windows-1251
// upper-case rule): built once, then each look-up costs one hash.
class TShownNames {
public:
    explicit TShownNames(const std::vector<AnsiString>& Names);
    // The positions of the names equal to Name ignoring case, in order.
    const std::vector<size_t>& Find(const AnsiString& Name) const;
    bool Contains(const AnsiString& Name) const { return !Find(Name).empty(); }

private:
    std::unordered_map<AnsiString, std::vector<size_t>> rows_;
};

// The queue as the program holds it: the entries of wait.dat in list order.
// Every entry keeps a mark of its own for as long as it is queued, so a send
// that took it finds it again however the queue has changed meanwhile, or
// finds it gone. Every change the user makes, and every entry sent, is saved
// at once; the save of a failed change is tried again by SaveIfUnsaved.
class TSendQueue {
public:
    using TMark = uint64_t;

    // An entry taken into a send for one contact of the shown group.
    struct TPick {
        TMark Mark = 0;
        size_t Contact = 0;  // its position among the shown names
        AnsiString Caption;  // the entry's caption and text when it was taken
        AnsiString Text;
    };

    explicit TSendQueue(std::string FileName);

    const std::string& FileName() const noexcept { return fileName_; }
    size_t Count() const noexcept { return entries_.size(); }
    bool Empty() const noexcept { return entries_.empty(); }
    const TQueueEntry& Entry(size_t Index) const { return entries_.at(Index).Entry; }
    TMark Mark(size_t Index) const { return entries_.at(Index).Mark; }
    // Where the entry of Mark stands; nothing once it is gone.
    std::optional<size_t> Find(TMark Mark) const;
    // The last save failed: the file may not hold the queue.
    bool Unsaved() const noexcept { return unsaved_; }

    // Appends every section of the file.
    void Load();
    // Writes wait.dat: done entries are not kept, no entries leave no file.
    void Save();
    void SaveIfUnsaved();

    // Appends an entry and saves.
    void Add(TQueueEntry Entry);
    // Deletes one entry (none when Index is beyond the last) or every one,
    // and saves.
    void Delete(size_t Index);
    void DeleteAll();

    // The due test of an entry at Now; an unreadable caption makes the entry
    // done (it is dropped with the sent ones).
    TDue Due(size_t Index, const QDateTime& Now);
    // Whether an entry is due that somebody shown can take; the unreadable
    // entries passed on the way are made done.
    bool AnyDue(const TShownNames& Shown, const QDateTime& Now);
    // The entries that are not done, or only the one at Only, each once for
    // every contact shown of its name.
    std::vector<TPick> Pick(const TShownNames& Shown, std::optional<size_t> Only = std::nullopt) const;

    // The entry of Mark is done; false when it is gone.
    bool SetDone(TMark Mark);
    // The entry of Mark went out: done, and saved at once, so that a failure
    // later in the send never sends it again after a restart.
    void StrikeOff(TMark Mark);
    // Removes the done entries and saves when there were any; whether there
    // were.
    bool DropDone();

private:
    struct TItem {
        TQueueEntry Entry;
        TMark Mark = 0;
    };
    void push(TQueueEntry Entry);

    std::string fileName_;
    std::vector<TItem> entries_;
    TMark lastMark_ = 0;
    bool unsaved_ = false;
};
