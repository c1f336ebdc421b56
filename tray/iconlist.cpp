#include "tray/iconlist.h"

#include "platform/codepage.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QPixmap>

#include <cstdint>
#include <string>
#include <utility>

// The resources are linked from a static library: register them explicitly.
static void initTrayResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(tray);
        return true;
    }();
    (void)done;
}

namespace {

// An icon file begins with a directory: reserved 0, type 1, image count.
bool looksLikeIconFile(const QByteArray& data)
{
    if (data.size() < 6 + 16) return false;
    const auto u16 = [&](int at) {
        return static_cast<unsigned>(static_cast<unsigned char>(data[at])) |
               static_cast<unsigned>(static_cast<unsigned char>(data[at + 1])) << 8;
    };
    return u16(0) == 0 && u16(2) == 1 && u16(4) >= 1 && data.size() >= 6 + 16 * static_cast<int>(u16(4));
}

QImage decodeIconFile(const QByteArray& data)
{
    if (!looksLikeIconFile(data)) return {};
    return QImage::fromData(data, "ICO");
}

QByteArray encodeIconFile(const QImage& image)
{
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "ico");
    if (!writer.write(image.convertToFormat(QImage::Format_ARGB32))) return {};
    return out;
}

void writeInt32(TStream& Stream, int32_t Value)
{
    const auto v = static_cast<uint32_t>(Value);
    const unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
    Stream.WriteBuffer(b, 4);
}

int32_t readInt32(TStream& Stream)
{
    unsigned char b[4];
    Stream.ReadBuffer(b, 4);
    return static_cast<int32_t>(static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                                static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24);
}

}  // namespace

// ---- TIcon

void TIcon::Changed()
{
    if (auto f = OnChange) f(this);
}

void TIcon::Assign(const TIcon* Source)
{
    if (Source == this) return;
    if (Source) {
        data_ = Source->data_;
        image_ = Source->image_;
    } else {
        data_.clear();
        image_ = QImage();
    }
    Changed();
}

void TIcon::LoadFromStream(TStream& Stream)
{
    QByteArray data;
    char chunk[4096];
    for (;;) {
        const int n = Stream.Read(chunk, sizeof chunk);
        if (n <= 0) break;
        data.append(chunk, n);
    }
    QImage image = decodeIconFile(data);
    if (image.isNull()) throw EInvalidGraphic("Icon image is not valid");
    data_ = std::move(data);
    image_ = std::move(image);
    Changed();
}

void TIcon::SaveToStream(TStream& Stream) const
{
    if (!data_.isEmpty()) Stream.WriteBuffer(data_.constData(), static_cast<int>(data_.size()));
}

void TIcon::LoadFromFile(const QString& FileName)
{
    initTrayResources();
    QImageReader reader(FileName);
    QImage image = reader.read();
    if (image.isNull()) throw EInvalidGraphic(codepage::fromUnicode("Cannot load " + FileName));
    SetImage(image);
}

void TIcon::SetImage(const QImage& Image)
{
    if (Image.isNull()) {
        Assign(nullptr);
        return;
    }
    QByteArray data = encodeIconFile(Image);
    if (data.isEmpty()) throw EInvalidGraphic("Icon image is not valid");
    data_ = std::move(data);
    image_ = Image.convertToFormat(QImage::Format_ARGB32);
    Changed();
}

QIcon TIcon::ToQIcon() const
{
    if (image_.isNull()) return {};
    return QIcon(QPixmap::fromImage(image_));
}

// ---- TIconList

TIconList::~TIconList()
{
    // Destruction tells nobody.
    OnChange = nullptr;
    Clear();
}

template <class F>
void TIconList::InUpdate(F&& f)
{
    BeginUpdate();
    try {
        f();
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TIconList::EndUpdate()
{
    --updateCount_;
    if (updateCount_ == 0) Changed();
}

void TIconList::Changed()
{
    if (updateCount_ == 0 && OnChange) {
        auto f = OnChange;
        f(this);
    }
}

void TIconList::CheckIndex(int Index) const
{
    if (Index < 0 || Index >= GetCount())
        throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
}

void TIconList::Hook(TIcon& Icon)
{
    Icon.OnChange = [this](TIcon*) { Changed(); };
}

int TIconList::AddObject(std::unique_ptr<TIcon> Icon)
{
    if (Icon) Hook(*Icon);
    list_.push_back(std::move(Icon));
    Changed();
    return GetCount() - 1;
}

void TIconList::Assign(const TIconList* Source)
{
    if (Source == this) return;
    if (!Source) {
        Clear();
        return;
    }
    InUpdate([&] {
        Clear();
        for (int i = 0; i < Source->GetCount(); ++i) Add(Source->GetIcon(i));
    });
}

void TIconList::Assign(const TIcon* Source)
{
    if (!Source) {
        Clear();
        return;
    }
    // Source may be one of this list's own icons, which Clear frees.
    auto copy = std::make_unique<TIcon>();
    copy->Assign(Source);
    InUpdate([&] {
        Clear();
        AddObject(std::move(copy));
    });
}

TIcon* TIconList::GetIcon(int Index) const
{
    CheckIndex(Index);
    return list_[static_cast<size_t>(Index)].get();
}

int TIconList::GetCount() const { return static_cast<int>(list_.size()); }

void TIconList::Put(int Index, const TIcon* Icon)
{
    InUpdate([&] {
        if (Index == GetCount()) Add(nullptr);
        CheckIndex(Index);
        auto& slot = list_[static_cast<size_t>(Index)];
        if (!slot) slot = std::make_unique<TIcon>();
        Hook(*slot);
        slot->Assign(Icon);
    });
}

int TIconList::Add(const TIcon* Icon)
{
    auto icon = std::make_unique<TIcon>();
    icon->Assign(Icon);
    return AddObject(std::move(icon));
}

int TIconList::AddResource(const QString& ResourceName)
{
    auto icon = std::make_unique<TIcon>();
    icon->LoadFromFile(ResourceName);
    return AddObject(std::move(icon));
}

void TIconList::Clear()
{
    InUpdate([&] {
        for (int i = GetCount() - 1; i >= 0; --i) Delete(i);
    });
}

void TIconList::Delete(int Index)
{
    CheckIndex(Index);
    std::unique_ptr<TIcon> icon = std::move(list_[static_cast<size_t>(Index)]);
    if (icon) icon->OnChange = nullptr;
    list_.erase(list_.begin() + Index);
    icon.reset();
    Changed();
}

void TIconList::Exchange(int Index1, int Index2)
{
    CheckIndex(Index1);
    CheckIndex(Index2);
    std::swap(list_[static_cast<size_t>(Index1)], list_[static_cast<size_t>(Index2)]);
    Changed();
}

int TIconList::IndexOf(const TIcon* Icon) const
{
    for (int i = 0; i < GetCount(); ++i)
        if (list_[static_cast<size_t>(i)].get() == Icon) return i;
    return -1;
}

void TIconList::Insert(int Index, const TIcon* Icon)
{
    if (Index < 0 || Index > GetCount())
        throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
    auto icon = std::make_unique<TIcon>();
    icon->Assign(Icon);
    Hook(*icon);
    list_.insert(list_.begin() + Index, std::move(icon));
    Changed();
}

void TIconList::InsertResource(int Index, const QString& ResourceName)
{
    if (Index < 0 || Index > GetCount())
        throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
    auto icon = std::make_unique<TIcon>();
    icon->LoadFromFile(ResourceName);
    Hook(*icon);
    list_.insert(list_.begin() + Index, std::move(icon));
    Changed();
}

void TIconList::LoadFromStream(TStream& Stream)
{
    InUpdate([&] {
        Clear();
        const int32_t count = readInt32(Stream);
        for (int32_t i = 0; i < count; ++i) {
            const int32_t size = readInt32(Stream);
            if (size <= 0) {
                AddObject(nullptr);
                continue;
            }
            TMemoryStream data;
            data.CopyFrom(Stream, size);
            data.SetPosition(0);
            auto icon = std::make_unique<TIcon>();
            icon->LoadFromStream(data);
            AddObject(std::move(icon));
        }
    });
}

void TIconList::Move(int CurIndex, int NewIndex)
{
    CheckIndex(CurIndex);
    CheckIndex(NewIndex);
    if (CurIndex != NewIndex) {
        std::unique_ptr<TIcon> icon = std::move(list_[static_cast<size_t>(CurIndex)]);
        list_.erase(list_.begin() + CurIndex);
        list_.insert(list_.begin() + NewIndex, std::move(icon));
    }
    Changed();
}

void TIconList::SaveToStream(TStream& Stream) const
{
    writeInt32(Stream, GetCount());
    TMemoryStream scratch;
    for (int i = 0; i < GetCount(); ++i) {
        const TIcon* icon = list_[static_cast<size_t>(i)].get();
        scratch.Clear();
        if (icon && !icon->Empty()) {
            icon->SaveToStream(scratch);
            writeInt32(Stream, scratch.Size());
            Stream.WriteBuffer(scratch.Memory(), scratch.Size());
        } else {
            writeInt32(Stream, 0);
        }
    }
}
