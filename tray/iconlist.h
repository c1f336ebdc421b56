#pragma once
// Icon pictures and an ordered list of them.
//
// TIcon holds one picture as an icon file (the Windows .ico format), the form
// in which it is written to and read from a stream. TIconList owns the icons
// it holds, tells its owner of every change (changes between BeginUpdate and
// EndUpdate are told once, at the outermost EndUpdate) and stores itself in a
// stream as:
//   Count            int32, little-endian
//   Count times:
//     Size           int32, little-endian; 0 for an empty slot or an icon
//                    without a picture
//     Data           Size bytes of icon file, only when Size > 0

#include "platform/exception.h"
#include "platform/streams.h"

#include <QByteArray>
#include <QIcon>
#include <QImage>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

// Data that is not a picture of the kind expected.
class EInvalidGraphic : public Exception {
public:
    using Exception::Exception;
};

// An index outside the list: "List index out of bounds (<index>)".
class EListError : public Exception {
public:
    using Exception::Exception;
};

// The programs' own icon pictures, in the tray library's resources.
inline constexpr const char* PagerIconResource = ":/tray/pager.png";
inline constexpr const char* DialerOffLineIconResource = ":/tray/dialer-offline.png";
inline constexpr const char* DialerConnectedIconResource = ":/tray/dialer-online.png";

class TIcon {
public:
    using TNotifyEvent = std::function<void(TIcon* Sender)>;

    TIcon() = default;
    TIcon(const TIcon&) = delete;
    TIcon& operator=(const TIcon&) = delete;

    // Called after every change of the picture.
    TNotifyEvent OnChange;

    // True while the icon has no picture.
    bool Empty() const noexcept { return data_.isEmpty(); }

    // Copies Source's picture; nullptr empties the icon.
    void Assign(const TIcon* Source);
    // Reads the rest of Stream as an icon file. Raises EInvalidGraphic
    // "Icon image is not valid" when it is none; the picture is then kept.
    void LoadFromStream(TStream& Stream);
    // Writes the icon file; nothing at all for an empty icon.
    void SaveToStream(TStream& Stream) const;
    // Reads a picture file (an icon file or any image Qt reads: a resource
    // such as PagerIconResource). Raises EInvalidGraphic "Cannot load <name>"
    // when it cannot be read; the picture is then kept.
    void LoadFromFile(const QString& FileName);
    // Makes the picture from Image (at most 256 pixels wide and high); a null
    // image empties the icon.
    void SetImage(const QImage& Image);

    const QImage& Image() const noexcept { return image_; }
    // The picture for the desktop; a null QIcon for an empty icon.
    QIcon ToQIcon() const;
    // The icon file.
    const QByteArray& Data() const noexcept { return data_; }

private:
    void Changed();

    QByteArray data_;  // the picture as an icon file
    QImage image_;     // and as an image
};

class TIconList {
public:
    using TNotifyEvent = std::function<void(TIconList* Sender)>;

    TIconList() = default;
    virtual ~TIconList();
    TIconList(const TIconList&) = delete;
    TIconList& operator=(const TIconList&) = delete;

    // Called on each change of the list or of the picture of one of its icons,
    // unless an update is open.
    TNotifyEvent OnChange;

    // nullptr clears the list. A list gets a copy of each of Source's icons,
    // in order (an empty slot becomes an icon without a picture); a single
    // icon leaves the list holding one copy of it. Assigning a list to itself
    // changes nothing.
    virtual void Assign(const TIconList* Source);
    virtual void Assign(const TIcon* Source);
    void Assign(std::nullptr_t) { Clear(); }

    // The icon at Index, nullptr for an empty slot.
    virtual TIcon* GetIcon(int Index) const;
    // Number of slots, empty ones included.
    virtual int GetCount() const;
    int Count() const { return GetCount(); }
    // Copies Icon's picture into the slot at Index (nullptr empties the
    // picture); Index = Count appends. One notification.
    virtual void Put(int Index, const TIcon* Icon);
    // Appends a new icon holding a copy of Icon's picture (an icon without a
    // picture for nullptr); its index.
    virtual int Add(const TIcon* Icon);
    // Appends a new icon loaded from a resource (TIcon::LoadFromFile); its
    // index.
    virtual int AddResource(const QString& ResourceName);
    virtual void Clear();
    virtual void Delete(int Index);
    virtual void Exchange(int Index1, int Index2);
    // Position of that very icon object; -1 when it is not in the list.
    virtual int IndexOf(const TIcon* Icon) const;
    // Inserts a new icon holding a copy of Icon's picture at Index (0 to
    // Count).
    virtual void Insert(int Index, const TIcon* Icon);
    virtual void InsertResource(int Index, const QString& ResourceName);
    // Replaces the list by the one in Stream (format above). An icon that
    // cannot be read raises its error; the icons read before it stay.
    virtual void LoadFromStream(TStream& Stream);
    virtual void Move(int CurIndex, int NewIndex);
    virtual void SaveToStream(TStream& Stream) const;

    void BeginUpdate() noexcept { ++updateCount_; }
    void EndUpdate();

protected:
    // Tells OnChange, unless an update is open.
    virtual void Changed();

private:
    void CheckIndex(int Index) const;
    // Appends Icon itself (nullptr makes an empty slot).
    int AddObject(std::unique_ptr<TIcon> Icon);
    void Hook(TIcon& Icon);
    template <class F>
    void InUpdate(F&& f);

    std::vector<std::unique_ptr<TIcon>> list_;
    int updateCount_ = 0;
};
