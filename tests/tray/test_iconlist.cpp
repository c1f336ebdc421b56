#include "tray/iconlist.h"

#include <QColor>
#include <QImage>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

std::unique_ptr<TIcon> makeIcon(QColor color, int size = 16)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(color);
    auto icon = std::make_unique<TIcon>();
    icon->SetImage(image);
    return icon;
}

std::string int32le(int32_t v)
{
    const auto u = static_cast<uint32_t>(v);
    return {static_cast<char>(u & 0xFF), static_cast<char>((u >> 8) & 0xFF), static_cast<char>((u >> 16) & 0xFF),
            static_cast<char>((u >> 24) & 0xFF)};
}

std::unique_ptr<TMemoryStream> streamOf(const std::string& bytes)
{
    auto s = std::make_unique<TMemoryStream>();
    s->WriteBuffer(bytes.data(), static_cast<int>(bytes.size()));
    s->SetPosition(0);
    return s;
}

std::string saved(const TIconList& list)
{
    TMemoryStream s;
    list.SaveToStream(s);
    return s.Bytes();
}

QRgb pixelOf(const TIcon* icon) { return icon->Image().pixel(0, 0); }

// Counts the list's notifications.
struct Watched {
    TIconList list;
    int changes = 0;
    Watched()
    {
        list.OnChange = [this](TIconList* sender) {
            EXPECT_EQ(sender, &list);
            ++changes;
        };
    }
};

}  // namespace

TEST(IconList, IconPictureSurvivesItsStreamForm)
{
    auto red = makeIcon(Qt::red, 32);
    ASSERT_FALSE(red->Empty());
    TMemoryStream s;
    red->SaveToStream(s);
    EXPECT_EQ(s.Bytes().substr(0, 4), std::string("\0\0\1\0", 4));  // an icon file

    s.SetPosition(0);
    TIcon back;
    back.LoadFromStream(s);
    EXPECT_EQ(back.Image().size(), QSize(32, 32));
    EXPECT_EQ(pixelOf(&back), QColor(Qt::red).rgba());
    EXPECT_EQ(back.Data(), red->Data());
}

TEST(IconList, StreamForms)
{
    auto blue = makeIcon(Qt::blue);
    const std::string blueData = blue->Data().toStdString();
    const std::string blueSlot = int32le(static_cast<int32_t>(blueData.size())) + blueData;

    struct Case {
        const char* name;
        std::string stream;
        std::vector<bool> slotHasIcon;  // as read back
        std::string written = {};       // when it differs from stream
    };
    const std::vector<Case> cases = {
        {"no slots", int32le(0), {}},
        {"two empty slots", int32le(2) + int32le(0) + int32le(0), {false, false}},
        {"one icon", int32le(1) + blueSlot, {true}},
        {"icon, empty, icon", int32le(3) + blueSlot + int32le(0) + blueSlot, {true, false, true}},
        {"a negative size is an empty slot", int32le(1) + int32le(-5), {false}, int32le(1) + int32le(0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TIconList list;
        list.LoadFromStream(*streamOf(c.stream));
        ASSERT_EQ(list.Count(), static_cast<int>(c.slotHasIcon.size()));
        for (int i = 0; i < list.Count(); ++i) {
            EXPECT_EQ(list.GetIcon(i) != nullptr, c.slotHasIcon[static_cast<size_t>(i)]) << i;
            if (list.GetIcon(i)) {
                EXPECT_EQ(pixelOf(list.GetIcon(i)), QColor(Qt::blue).rgba());
            }
        }
        EXPECT_EQ(saved(list), c.written.empty() ? c.stream : c.written);
    }
}

TEST(IconList, IconWithoutPictureIsWrittenAsEmptySlotAndReadBackAsNone)
{
    TIconList list;
    list.Add(nullptr);  // an icon object without a picture
    ASSERT_NE(list.GetIcon(0), nullptr);
    EXPECT_TRUE(list.GetIcon(0)->Empty());
    EXPECT_EQ(saved(list), int32le(1) + int32le(0));

    TIconList back;
    back.LoadFromStream(*streamOf(saved(list)));
    ASSERT_EQ(back.Count(), 1);
    EXPECT_EQ(back.GetIcon(0), nullptr);
}

TEST(IconList, AssignCopiesEveryEntryAndFillsEmptySlots)
{
    auto red = makeIcon(Qt::red);
    TIconList source;
    source.LoadFromStream(*streamOf(int32le(2) + int32le(static_cast<int32_t>(red->Data().size())) +
                                    red->Data().toStdString() + int32le(0)));
    ASSERT_EQ(source.GetIcon(1), nullptr);

    Watched target;
    target.list.Add(makeIcon(Qt::green).get());
    target.changes = 0;
    target.list.Assign(&source);
    EXPECT_EQ(target.changes, 1);
    ASSERT_EQ(target.list.Count(), 2);
    EXPECT_NE(target.list.GetIcon(0), source.GetIcon(0));  // a copy
    EXPECT_EQ(pixelOf(target.list.GetIcon(0)), QColor(Qt::red).rgba());
    ASSERT_NE(target.list.GetIcon(1), nullptr);  // an empty icon, not an empty slot
    EXPECT_TRUE(target.list.GetIcon(1)->Empty());
    EXPECT_EQ(saved(target.list), saved(source));
}

TEST(IconList, AssignOfItselfOrOfItsOwnIconKeepsThePictures)
{
    TIconList list;
    list.Add(makeIcon(Qt::red).get());
    list.Add(makeIcon(Qt::blue).get());

    list.Assign(&list);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(pixelOf(list.GetIcon(1)), QColor(Qt::blue).rgba());

    list.Assign(list.GetIcon(1));
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(pixelOf(list.GetIcon(0)), QColor(Qt::blue).rgba());

    list.Assign(nullptr);
    EXPECT_EQ(list.Count(), 0);
}

TEST(IconList, ChangesInsideAnUpdateAreToldOnceAtTheOutermostEnd)
{
    Watched w;
    w.list.BeginUpdate();
    w.list.BeginUpdate();
    w.list.Add(makeIcon(Qt::red).get());
    w.list.Add(nullptr);
    w.list.Delete(1);
    w.list.EndUpdate();
    EXPECT_EQ(w.changes, 0);
    w.list.EndUpdate();
    EXPECT_EQ(w.changes, 1);

    // Also when nothing changed.
    w.list.BeginUpdate();
    w.list.EndUpdate();
    EXPECT_EQ(w.changes, 2);
}

TEST(IconList, EachOperationTellsOnce)
{
    auto red = makeIcon(Qt::red);
    auto blue = makeIcon(Qt::blue);
    Watched w;
    w.list.Add(red.get());
    w.list.Add(blue.get());
    w.list.Add(nullptr);

    struct Case {
        const char* name;
        std::function<void(TIconList&)> op;
    };
    const std::vector<Case> cases = {
        {"picture changed in place", [&](TIconList& l) { l.GetIcon(0)->Assign(blue.get()); }},
        {"Put", [&](TIconList& l) { l.Put(1, red.get()); }},
        {"Put at Count appends", [&](TIconList& l) { l.Put(l.Count(), red.get()); }},
        {"Exchange", [](TIconList& l) { l.Exchange(0, 1); }},
        {"Move", [](TIconList& l) { l.Move(0, 2); }},
        {"Insert", [&](TIconList& l) { l.Insert(0, red.get()); }},
        {"Delete", [](TIconList& l) { l.Delete(0); }},
        {"Clear of several icons", [](TIconList& l) { l.Clear(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        w.changes = 0;
        c.op(w.list);
        EXPECT_EQ(w.changes, 1);
    }
}

TEST(IconList, SlotsMoveAsAsked)
{
    auto red = makeIcon(Qt::red);
    auto green = makeIcon(Qt::green);
    auto blue = makeIcon(Qt::blue);
    TIconList list;
    list.Add(red.get());
    list.Add(green.get());
    list.Add(blue.get());
    const auto colours = [&] {
        std::string out;
        for (int i = 0; i < list.Count(); ++i) {
            const TIcon* icon = list.GetIcon(i);
            out += !icon ? '-' : pixelOf(icon) == QColor(Qt::red).rgba() ? 'r'
                             : pixelOf(icon) == QColor(Qt::green).rgba() ? 'g'
                                                                          : 'b';
        }
        return out;
    };
    EXPECT_EQ(colours(), "rgb");
    list.Move(0, 2);
    EXPECT_EQ(colours(), "gbr");
    list.Exchange(0, 2);
    EXPECT_EQ(colours(), "rbg");
    list.Insert(1, green.get());
    EXPECT_EQ(colours(), "rgbg");
    TIcon* third = list.GetIcon(2);
    EXPECT_EQ(list.IndexOf(third), 2);
    EXPECT_EQ(list.IndexOf(blue.get()), -1);  // a copy is in the list, not this object
    list.Delete(0);
    EXPECT_EQ(colours(), "gbg");
    EXPECT_EQ(list.IndexOf(third), 1);
}

TEST(IconList, PutFillsAnEmptySlotAndHooksIt)
{
    Watched w;
    w.list.LoadFromStream(*streamOf(int32le(1) + int32le(0)));
    ASSERT_EQ(w.list.GetIcon(0), nullptr);
    w.list.Put(0, makeIcon(Qt::red).get());
    ASSERT_NE(w.list.GetIcon(0), nullptr);
    EXPECT_EQ(pixelOf(w.list.GetIcon(0)), QColor(Qt::red).rgba());
    w.changes = 0;
    w.list.GetIcon(0)->Assign(nullptr);
    EXPECT_EQ(w.changes, 1);
    EXPECT_EQ(saved(w.list), int32le(1) + int32le(0));
}

TEST(IconList, IndexesOutsideTheListAreListErrors)
{
    TIconList list;
    list.Add(nullptr);
    list.Add(nullptr);
    const std::vector<std::pair<const char*, std::function<void()>>> cases = {
        {"GetIcon", [&] { list.GetIcon(2); }},
        {"GetIcon negative", [&] { list.GetIcon(-1); }},
        {"Put past Count", [&] { list.Put(3, nullptr); }},
        {"Delete", [&] { list.Delete(2); }},
        {"Exchange", [&] { list.Exchange(0, 2); }},
        {"Move", [&] { list.Move(2, 0); }},
        {"Insert past Count", [&] { list.Insert(3, nullptr); }},
    };
    for (const auto& [name, op] : cases) {
        SCOPED_TRACE(name);
        EXPECT_THROW(op(), EListError);
        EXPECT_EQ(list.Count(), 2);
    }
    try {
        list.GetIcon(5);
    } catch (const EListError& e) {
        EXPECT_EQ(e.message(), "List index out of bounds (5)");
    }
}

TEST(IconList, DamagedStreamsRaiseAndKeepWhatWasRead)
{
    auto red = makeIcon(Qt::red);
    const std::string redSlot = int32le(static_cast<int32_t>(red->Data().size())) + red->Data().toStdString();
    struct Case {
        const char* name;
        std::string stream;
        bool invalidIcon;  // else a read error
    };
    const std::vector<Case> cases = {
        {"not an icon", int32le(2) + redSlot + int32le(10) + std::string(10, 'x'), true},
        {"size beyond the data", int32le(2) + redSlot + int32le(0x7FFFFFFF) + std::string(16, '\0'), false},
        {"fewer slots than counted", int32le(1000000) + redSlot, false},
        {"cut inside a size", int32le(2) + redSlot + std::string(2, '\0'), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Watched w;
        auto s = streamOf(c.stream);
        if (c.invalidIcon) {
            EXPECT_THROW(w.list.LoadFromStream(*s), EInvalidGraphic);
        } else {
            EXPECT_THROW(w.list.LoadFromStream(*s), EReadError);
        }
        EXPECT_EQ(w.changes, 1);  // the update is closed all the same
        ASSERT_EQ(w.list.Count(), 1);
        EXPECT_EQ(pixelOf(w.list.GetIcon(0)), QColor(Qt::red).rgba());
    }
}

TEST(IconList, OwnPicturesLoadFromTheResources)
{
    TIconList list;
    for (const char* name : {PagerIconResource, DialerOffLineIconResource, DialerConnectedIconResource}) {
        SCOPED_TRACE(name);
        const int i = list.AddResource(QString::fromLatin1(name));
        ASSERT_FALSE(list.GetIcon(i)->Empty());
        EXPECT_FALSE(list.GetIcon(i)->ToQIcon().isNull());
    }
    EXPECT_THROW(list.AddResource(":/tray/no-such.png"), EInvalidGraphic);
    EXPECT_THROW(list.InsertResource(0, ":/tray/no-such.png"), EInvalidGraphic);
    EXPECT_EQ(list.Count(), 3);

    // The two dialer pictures differ.
    EXPECT_NE(list.GetIcon(1)->Image(), list.GetIcon(2)->Image());
}

TEST(IconList, DestructionTellsNobody)
{
    int changes = 0;
    {
        TIconList list;
        list.Add(nullptr);
        list.OnChange = [&](TIconList*) { ++changes; };
    }
    EXPECT_EQ(changes, 0);
}
