#pragma once
// The next question box that a test's action opens, as the user sees it: its
// caption, text and the texts of its Yes and No buttons, answered No.

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QString>
#include <QTimer>

#include <memory>

namespace questionbox {

struct Seen {
    bool Shown = false;
    QString Caption;
    QString Text;
    QString Yes;
    QString No;
};

// Arms the answer; the box must open in the event loop's next turn (inside
// the action that follows). The result is filled once the box was answered.
inline std::shared_ptr<Seen> answerNextWithNo()
{
    auto seen = std::make_shared<Seen>();
    QTimer::singleShot(0, [seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        seen->Shown = true;
        seen->Caption = box->windowTitle();
        seen->Text = box->text();
        if (QAbstractButton* b = box->button(QMessageBox::Yes)) seen->Yes = b->text();
        if (QAbstractButton* b = box->button(QMessageBox::No)) {
            seen->No = b->text();
            b->click();
        } else {
            box->reject();
        }
    });
    return seen;
}

}  // namespace questionbox
