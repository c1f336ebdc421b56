#include "pager/dialogs/dialogs.h"

#include "common/strs.h"
#include "pager/position.h"
#include "platform/codepage.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QDialog>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>

#include <algorithm>

namespace dialogs {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

QString fromAnsi(std::string_view s) { return codepage::toUnicode(s); }

AnsiString lineText(const QLineEdit* Edit)
{
    static const TCharSet control = CharRange(0, 31) | CharsOf("\x7f");
    return ReplaceChars(codepage::fromUnicode(Edit->text()), control, ' ');
}

void setUp(QDialog* Dialog, const char* ObjectName, const char* Caption, int Width, int Height)
{
    Dialog->setObjectName(QString::fromLatin1(ObjectName));
    Dialog->setWindowTitle(u(Caption));
    Dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint);
    QFont small = Dialog->font();
    small.setPointSizeF(std::min<qreal>(small.pointSizeF(), 8.0));
    Dialog->setFont(small);
    Dialog->setFixedSize(Width, Height);
}

void loadPosition(QWidget* Dialog, const char* Name)
{
    TPosRec pos;  // -1: not stored
    LoadPosition(Name, pos);
    if (pos.Left != -1 && pos.Top != -1) Dialog->move(pos.Left, pos.Top);
}

void savePosition(const QWidget* Dialog, const char* Name)
{
    SavePosition(Name, {Dialog->x(), Dialog->y(), -1, -1, false}, false, false);
}

QLabel* label(QWidget* Parent, const char* Text, int Left, int Top, int Width)
{
    auto* l = new QLabel(u(Text), Parent);
    l->setGeometry(Left, Top, Width, 16);
    return l;
}

QLineEdit* edit(QWidget* Parent, const char* Name, int Left, int Top, int Width)
{
    auto* e = new QLineEdit(Parent);
    e->setObjectName(QString::fromLatin1(Name));
    e->setGeometry(Left, Top, Width, 21);
    return e;
}

QComboBox* dropDown(QWidget* Parent, const char* Name, int Left, int Top, int Width)
{
    auto* c = new QComboBox(Parent);
    c->setObjectName(QString::fromLatin1(Name));
    c->setEditable(false);
    c->setGeometry(Left, Top, Width, 22);
    return c;
}

QCheckBox* checkBox(QWidget* Parent, const char* Name, const char* Caption, int Left, int Top, int Width)
{
    auto* b = new QCheckBox(u(Caption), Parent);
    b->setObjectName(QString::fromLatin1(Name));
    b->setGeometry(Left, Top, Width, 20);
    return b;
}

std::pair<QPushButton*, QPushButton*> okCancel(QDialog* Dialog, int Left, int Top)
{
    auto* ok = new QPushButton(u("OK"), Dialog);
    ok->setObjectName("bOK");
    ok->setGeometry(Left, Top, 75, 25);
    ok->setDefault(true);
    auto* cancel = new QPushButton(u("Отмена"), Dialog);
    cancel->setObjectName("bCancel");
    cancel->setGeometry(Left + 78, Top, 75, 25);
    QObject::connect(cancel, &QPushButton::clicked, Dialog, &QDialog::reject);
    return {ok, cancel};
}

void followBox(const QCheckBox* Box, QLineEdit* Edit)
{
    const bool on = Box->checkState() == Qt::Checked;
    Edit->setEnabled(on);
    QPalette pal = Edit->palette();
    const QPalette system = QApplication::palette();
    const QColor base = on ? system.color(QPalette::Active, QPalette::Base)
                           : system.color(QPalette::Active, QPalette::Button);
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) pal.setColor(group, QPalette::Base, base);
    Edit->setPalette(pal);
}

}  // namespace dialogs
