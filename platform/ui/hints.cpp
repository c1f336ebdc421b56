#include "platform/ui/hints.h"

#include "platform/app.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QWidget>

namespace hints {
namespace {

// Gives each widget the pause just before Qt shows its hint.
class HintPause : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::ToolTip && watched->isWidgetType()) {
            static_cast<QWidget*>(watched)->setToolTipDuration(app::application().HintHidePause);
        }
        return false;
    }
};

}  // namespace

void applyHintHidePause()
{
    static QPointer<HintPause> filter;
    if (filter || !qApp) return;
    filter = new HintPause(qApp);
    qApp->installEventFilter(filter);
}

}  // namespace hints
