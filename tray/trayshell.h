#pragma once
// The notification-area icon of both programs: puts one icon into the
// desktop's notification area (platform/ui/trayhost), keeps it in step with
// its properties, can step it through the frames of an icon list, and turns
// the mouse notifications into events and a popup menu.
//
// Every notification is handled inside the exception boundary: an exception
// thrown by an event handler is reported (app::handleException) and does not
// leave the component. A handler may free the component; nothing of it is
// touched afterwards.

#include "platform/ansistring.h"
#include "platform/ui/trayhost.h"
#include "tray/iconlist.h"

#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <cstdint>
#include <functional>

class QWidget;

enum TMouseButton { mbLeft, mbRight, mbMiddle };

// A set of these: the keys and buttons held during a mouse event.
using TShiftState = unsigned;
enum : TShiftState {
    ssShift = 0x01,
    ssAlt = 0x02,
    ssCtrl = 0x04,
    ssLeft = 0x08,
    ssRight = 0x10,
    ssMiddle = 0x20,
    ssDouble = 0x40,
};

// Brings Wnd to the front, unless it is disabled. With Restore, a visible
// window that is not maximized is restored from its minimized state and given
// the focus.
void SwitchToWindow(QWidget* Wnd, bool Restore);

class TOrvTrayIcon : public QObject {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(TOrvTrayIcon* Sender)>;
    using TMouseEvent =
        std::function<void(TOrvTrayIcon* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
    using TMouseMoveEvent = std::function<void(TOrvTrayIcon* Sender, TShiftState Shift, int X, int Y)>;

    // Nothing is shown until the icon has a picture.
    explicit TOrvTrayIcon(QObject* Owner = nullptr);
    ~TOrvTrayIcon() override;

    // Called by the owner once it has set the properties: puts the icon up
    // afresh when Active.
    void Loaded();

    // ---- properties
    // The wish to be in the notification area (default True). The icon is
    // there only while it has a picture as well.
    bool Active() const noexcept { return active_; }
    void SetActive(bool Value);
    // When False, mouse notifications raise no event; the icon stays.
    bool Enabled = true;
    // The tooltip is the text before the first "|", at most 63 characters.
    const AnsiString& Hint() const noexcept { return hint_; }
    void SetHint(const AnsiString& Value);
    // The picture shown when not animated. The component keeps its own icon:
    // SetIcon copies the picture; changing Icon() in place shows at once.
    TIcon* Icon() noexcept { return &icon_; }
    void SetIcon(const TIcon* Value);
    // Animation frames, or state pictures the owner copies into Icon. Kept
    // by the component: SetIcons copies.
    TIconList* Icons() noexcept { return &icons_; }
    void SetIcons(const TIconList* Value);
    // Steps through Icons every Interval milliseconds; stays False while
    // Icons is empty. An Interval of 0 stops the stepping.
    bool Animated() const noexcept { return animated_; }
    void SetAnimated(bool Value);
    uint16_t Interval = 150;
    // Popped up by the right button; its default item, when enabled, is
    // clicked by a double click. Forgotten when the menu is destroyed.
    QMenu* PopupMenu() const noexcept { return popupMenu_; }
    void SetPopupMenu(QMenu* Value) { popupMenu_ = Value; }

    // ---- events
    TMouseEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;

    // SetActive(True) and SetActive(False).
    void Show() { SetActive(true); }
    void Hide() { SetActive(false); }

protected:
    // Fills IconData from the properties.
    virtual void UpdateNotifyData();

    // Event dispatchers, called for each notification.
    virtual void MouseMove(TShiftState Shift, int X, int Y);
    virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
    virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
    // The right button pops up PopupMenu; OnClick is called otherwise.
    virtual void Click(TMouseButton Button, TShiftState Shift, int X, int Y);
    // Clicks the menu's default item; OnDblClick when there is none.
    virtual void DblClick();

    // One animation step: the next frame.
    void Timer();

    // The notification window's procedure: one mouse message of the icon.
    void WndProc(unsigned MouseMessage);

    // Whether the notification area holds the icon.
    bool Added() const noexcept { return added_; }
    int Frame() const noexcept { return frame_; }
    // Whether the animation is stepping (it rests while the icon is out).
    bool AnimationRunning() const noexcept { return animationRunning_; }

    trayhost::NotifyIconData IconData;

private:
    TIcon* GetActiveIcon();
    void Activate();
    void Deactivate();
    // The refresh after every change of the picture, the frames or the hint.
    void IconChanged();
    bool DoPopupMenu(int X, int Y);
    bool DoDefaultMenuItem();
    void ResumeAnimation();
    void SuspendAnimation();
    void ArmAnimation();
    void AnimationTick();

    bool active_ = true;
    AnsiString hint_;
    TIcon icon_;
    TIconList icons_;
    bool animated_ = false;
    QPointer<QMenu> popupMenu_;

    bool added_ = false;
    bool leftClicked_ = false;   // the left button went down on the icon
    bool rightClicked_ = false;  // the right button went down on the icon
    int frame_ = -1;
    bool destroying_ = false;
    bool animationRunning_ = false;
    QTimer animation_;
};
