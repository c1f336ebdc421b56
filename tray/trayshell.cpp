#include "tray/trayshell.h"

#include "platform/app.h"
#include "platform/codepage.h"

#include <QAction>
#include <QWidget>

#include <algorithm>

using namespace trayhost;

void SwitchToWindow(QWidget* Wnd, bool Restore)
{
    if (!Wnd || !Wnd->isEnabled()) return;
    Wnd->activateWindow();
    Wnd->raise();
    if (Restore && Wnd->isVisible()) {
        if (!Wnd->isMaximized() && Wnd->isMinimized()) Wnd->showNormal();
        Wnd->setFocus();
    }
}

namespace {

// The tooltip: the text before the first "|", at most 63 characters.
QString shortHint(const AnsiString& Hint)
{
    AnsiString tip = Hint.substr(0, Hint.find('|'));
    if (tip.size() > 63) tip.resize(63);
    return codepage::toUnicode(tip);
}

}  // namespace

TOrvTrayIcon::TOrvTrayIcon(QObject* Owner) : QObject(Owner)
{
    IconData.Owner = this;
    IconData.ID = 0;
    IconData.Callback = [this](unsigned m) { WndProc(m); };
    icon_.OnChange = [this](TIcon*) { IconChanged(); };
    icons_.OnChange = [this](TIconList*) { IconChanged(); };
    animation_.setSingleShot(true);
    connect(&animation_, &QTimer::timeout, this, [this] { AnimationTick(); });
}

TOrvTrayIcon::~TOrvTrayIcon()
{
    destroying_ = true;
    Enabled = false;
    icons_.OnChange = nullptr;
    icon_.OnChange = nullptr;
    app::guard([&] {
        SetAnimated(false);
        Deactivate();
    });
}

void TOrvTrayIcon::Loaded()
{
    if (active_) Activate();
}

// ---- properties

void TOrvTrayIcon::SetActive(bool Value)
{
    if (Value == active_) return;
    active_ = Value;
    if (Value)
        Activate();
    else
        Deactivate();
}

void TOrvTrayIcon::SetHint(const AnsiString& Value)
{
    if (Value == hint_) return;
    hint_ = Value;
    IconChanged();
}

void TOrvTrayIcon::SetIcon(const TIcon* Value) { icon_.Assign(Value); }

void TOrvTrayIcon::SetIcons(const TIconList* Value) { icons_.Assign(Value); }

void TOrvTrayIcon::SetAnimated(bool Value)
{
    const bool wanted = Value && icons_.Count() > 0;
    if (wanted == animated_) return;
    if (wanted) {
        animated_ = true;
        // The animation rests until the icon is up.
        if (added_) ResumeAnimation();
    } else {
        animated_ = false;
        SuspendAnimation();
    }
    frame_ = 0;
    IconChanged();
}

// ---- showing

TIcon* TOrvTrayIcon::GetActiveIcon()
{
    const int count = icons_.Count();
    if (count > 0 && animated_) return icons_.GetIcon(std::max(std::min(frame_, count - 1), 0));
    return &icon_;
}

void TOrvTrayIcon::UpdateNotifyData()
{
    const TIcon* icon = GetActiveIcon();
    IconData.Owner = this;
    IconData.ID = 0;
    IconData.Icon = icon ? icon->ToQIcon() : QIcon();
    IconData.Tip = shortHint(hint_);
}

void TOrvTrayIcon::Activate()
{
    Deactivate();
    const TIcon* icon = GetActiveIcon();
    if (icon && !icon->Empty()) {
        leftClicked_ = rightClicked_ = false;
        UpdateNotifyData();
        added_ = notifyIcon(NIM_ADD, IconData);
        if (animated_) ResumeAnimation();
    }
}

void TOrvTrayIcon::Deactivate()
{
    notifyIcon(NIM_DELETE, IconData);
    added_ = false;
    leftClicked_ = rightClicked_ = false;
    if (animated_) SuspendAnimation();
}

void TOrvTrayIcon::IconChanged()
{
    if (icons_.Count() == 0) SetAnimated(false);
    if (added_) {
        const TIcon* icon = GetActiveIcon();
        if (!icon || icon->Empty()) {
            Deactivate();
        } else {
            UpdateNotifyData();
            notifyIcon(NIM_MODIFY, IconData);
        }
    } else if (active_) {
        Activate();
    }
}

// ---- animation

void TOrvTrayIcon::ResumeAnimation()
{
    if (animationRunning_) return;
    animationRunning_ = true;
    ArmAnimation();
}

void TOrvTrayIcon::SuspendAnimation()
{
    animationRunning_ = false;
    animation_.stop();
}

void TOrvTrayIcon::ArmAnimation()
{
    // Interval is read before every step; 0 does not step.
    if (animationRunning_ && Interval > 0) animation_.start(Interval);
}

void TOrvTrayIcon::AnimationTick()
{
    app::guard([&] { Timer(); });
    ArmAnimation();
}

void TOrvTrayIcon::Timer()
{
    if (destroying_ || !animated_) return;
    ++frame_;
    if (frame_ >= icons_.Count()) frame_ = 0;
    IconChanged();
}

// ---- mouse

void TOrvTrayIcon::WndProc(unsigned MouseMessage)
{
    if (!Enabled) return;
    const QPoint pos = host().CursorPos();
    const int X = pos.x();
    const int Y = pos.y();
    const Qt::KeyboardModifiers keys = host().KeyboardModifiers();
    TShiftState shift = 0;
    if (keys & Qt::ShiftModifier) shift |= ssShift;
    if (keys & Qt::ControlModifier) shift |= ssCtrl;
    if (keys & Qt::AltModifier) shift |= ssAlt;

    // A handler may free this component: look before each next step.
    const QPointer<TOrvTrayIcon> self(this);
    app::guard([&] {
        switch (MouseMessage) {
        case WM_MOUSEMOVE:
            MouseMove(shift, X, Y);
            break;
        case WM_LBUTTONDOWN:
            MouseDown(mbLeft, shift | ssLeft, X, Y);
            if (self) leftClicked_ = true;
            break;
        case WM_LBUTTONUP:
            if (leftClicked_) {
                leftClicked_ = false;
                Click(mbLeft, shift | ssLeft, X, Y);
                if (!self) return;
            }
            MouseUp(mbLeft, shift | ssLeft, X, Y);
            break;
        case WM_LBUTTONDBLCLK:
            DblClick();
            if (!self) return;
            MouseDown(mbLeft, shift | ssDouble, X, Y);
            break;
        case WM_RBUTTONDOWN:
            MouseDown(mbRight, shift | ssRight, X, Y);
            if (self) rightClicked_ = true;
            break;
        case WM_RBUTTONUP:
            if (rightClicked_) {
                rightClicked_ = false;
                Click(mbRight, shift | ssRight, X, Y);
                if (!self) return;
            }
            MouseUp(mbRight, shift | ssRight, X, Y);
            break;
        case WM_RBUTTONDBLCLK:
            MouseDown(mbRight, shift | ssDouble, X, Y);
            break;
        case WM_MBUTTONDOWN:
            MouseDown(mbMiddle, shift | ssMiddle, X, Y);
            break;
        case WM_MBUTTONUP:
            MouseUp(mbMiddle, shift | ssMiddle, X, Y);
            break;
        case WM_MBUTTONDBLCLK:
            MouseDown(mbMiddle, shift | ssDouble, X, Y);
            break;
        default:
            break;
        }
    });
}

void TOrvTrayIcon::MouseMove(TShiftState Shift, int X, int Y)
{
    if (auto f = OnMouseMove) f(this, Shift, X, Y);
}

void TOrvTrayIcon::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y)
{
    if (auto f = OnMouseDown) f(this, Button, Shift, X, Y);
}

void TOrvTrayIcon::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y)
{
    if (auto f = OnMouseUp) f(this, Button, Shift, X, Y);
}

void TOrvTrayIcon::Click(TMouseButton Button, TShiftState Shift, int X, int Y)
{
    if (Button == mbRight && DoPopupMenu(X, Y)) return;
    if (auto f = OnClick) f(this, Button, Shift, X, Y);
}

void TOrvTrayIcon::DblClick()
{
    if (DoDefaultMenuItem()) return;
    if (auto f = OnDblClick) f(this);
}

bool TOrvTrayIcon::DoPopupMenu(int X, int Y)
{
    if (!active_ || !popupMenu_) return false;
    // A window that holds the mouse would keep the menu from taking it.
    if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
    // The menu takes the pointer itself, so it closes when the user clicks
    // elsewhere; its items run from the event loop once chosen.
    popupMenu_->popup(QPoint(X, Y));
    return true;
}

bool TOrvTrayIcon::DoDefaultMenuItem()
{
    if (!active_ || !popupMenu_) return false;
    const QList<QAction*> items = popupMenu_->actions();
    if (items.isEmpty()) return false;
    QAction* const def = popupMenu_->defaultAction();
    for (QAction* item : items) {
        if (item == def && item->isEnabled()) {
            item->trigger();
            return true;
        }
    }
    return false;
}
