#pragma once
// The address book of the main window: the group selector cbAddrBook with
// its menu, the contact list lvAddr with its buttons and row menu; and the
// global greeting and signature boxes of the parameters group. The main
// window holds both, places their controls and forwards to them.
//
// The shown group lives in TShownGroup (pager/showngroup.h), and the rows of
// lvAddr are a view of it; book.dat gets it back at the save points (a group
// switch, a rename, the window's close). Group operations write book.dat at
// once.

#include "pager/book.h"
#include "pager/showngroup.h"

#include <QCheckBox>
#include <QIcon>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTreeWidget>
#include <QTreeWidgetItem>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QComboBox;
class QLineEdit;
class QMenu;
class QToolButton;
class QTreeWidget;
class TOpList;

// A row of lvAddr: the view of one contact of the shown group, whose fields
// it names. A move exchanges the values of two contacts, so a row shows
// whatever its place holds.
class TBookRow : public QTreeWidgetItem {
public:
    explicit TBookRow(const TShownContact& Contact)
        : Name(Contact.Name), Item(Contact.Item), ImageIndex(Contact.ImageIndex), contact_(Contact)
    {
    }
    TBookRow(const TBookRow&) = delete;
    TBookRow& operator=(const TBookRow&) = delete;

    const AnsiString& Name;  // the caption: the contact's key in book.dat
    const TBookItem& Item;
    const int& ImageIndex;   // 0 pager, 1 SMS, -1 no image
    const TShownContact& Contact() const { return contact_; }

private:
    const TShownContact& contact_;
};

// A check box whose grey state only the program sets: a click takes it from
// unchecked or grey to checked, and from checked to unchecked.
class TProgramGrayCheckBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override;
};

class TAddrBook : public QObject {
    Q_OBJECT
public:
    // Controls are made as children of Parent; BookFileName is the full path
    // of book.dat. OpList must outlive the book.
    TAddrBook(QWidget* Parent, const TOpList& OpList, std::string BookFileName);
    ~TAddrBook() override;

    // Controls of the group box "Адресная книга".
    QComboBox* cbAddrBook = nullptr;
    QToolButton* tbAddrBook = nullptr;
    QMenu* pmBook = nullptr;
    QAction* mAddrAdd = nullptr;
    QAction* mAddrDel = nullptr;
    QAction* mAddrEdit = nullptr;
    QTreeWidget* lvAddr = nullptr;
    QToolButton* sbAdd = nullptr;
    QToolButton* sbDel = nullptr;
    QToolButton* sbEdit = nullptr;
    QToolButton* sbUp = nullptr;
    QToolButton* sbDn = nullptr;
    QToolButton* sbMail = nullptr;
    QMenu* pmBookItem = nullptr;
    QAction* mBookAdd = nullptr;
    QAction* mBookDel = nullptr;
    QAction* mBookEdit = nullptr;
    QAction* mSelectAll = nullptr;
    QAction* mSelectNone = nullptr;
    // Row images: 0 pager, 1 SMS.
    QList<QIcon> TypesImage;

    // A Yes/No question (caption "Внимание"); True only for Yes.
    std::function<bool(const QString& Text)> Ask;
    // A refusal or failure the user should know of.
    std::function<void(const QString& Text)> Warn;
    // A note on what loading changed (names made storable); Warn when unset.
    std::function<void(const QString& Text)> Notice;
    // Status-bar panel Index gets Text (cp1251).
    std::function<void(int Index, const AnsiString& Text)> ShowPanel;
    // Called after the book's own part of a selection change, for the
    // parameters group and the text box.
    std::function<void(TBookRow* Item, bool Selected)> OnSelectItem;
    // The contact dialog: nullptr to add, else filled to edit; the values
    // given back on OK, nothing on Cancel.
    std::function<std::optional<TBookItDialogResult>(const TBookItDialogInit* Edit)> ShowBookItDialog;
    // The group dialog: nullptr for a new group, else the current name to
    // rename; the name on OK, nothing on Cancel.
    std::function<std::optional<AnsiString>(const AnsiString* Current)> ShowGroupItDialog;

    // Start: the groups of book.dat into cbAddrBook, the group BookIndex
    // selected (the last one when it is beyond them, none when negative).
    // No rows are loaded: SetViewAddr does that. Names the file holds but
    // cannot take back are made storable (StorableNames), with a Notice.
    void LoadGroups();
    // Header row and second-column caption by View.Column2, then the shown
    // group reloaded from book.dat without saving it first.
    void SetViewAddr();
    // Row images by operator type, shown or not (View.IconsInBook).
    void ShowImages(bool On);

    // Group switch: the shown group saved, the selected one loaded.
    void cbAddrBookChange();
    // Writes the shown group (nothing while BookIndex names no group).
    void SaveBook();
    // Frees every row without saving.
    void ClearAddr();
    // Second-column text of a contact by View.Column2.
    AnsiString SetColumn2(const TBookItem& Item) const;

    // Contacts. Each returns True when it changed the rows.
    bool sbAddClick(const TBookItDialogResult& Result);
    std::optional<TBookItDialogInit> EditInit() const;
    bool sbEditClick(const TBookItDialogResult& Result);
    bool sbDelClick();
    bool sbUpClick();
    bool sbDnClick();
    void mSelectAllClick();
    void mSelectNoneClick();
    void lvAddrDblClick(QTreeWidgetItem* Item);
    void sbMailClick();
    // sbUp and sbDn by the selected row's neighbours.
    void ED(bool Enabled);

    // Why a contact name (of a new contact, or of the selected one when
    // Editing) or a group name (of a new group, or of the selected one when
    // Renaming) cannot be taken; empty when it can. The dialogs ask before
    // they close, so nothing typed is lost to a refusal.
    QString ContactNameRefusal(const AnsiString& Name, bool Editing) const;
    QString GroupNameRefusal(const AnsiString& Name, bool Renaming) const;

    // Groups. Each returns True when it changed the book.
    bool mAddrAddClick(const AnsiString& Name);
    bool mAddrDelClick();
    bool mAddrEditClick(const AnsiString& Name);
    void tbAddrBookClick();

    int Count() const;
    TBookRow* Row(int Index) const;
    // The shown group the rows show.
    const TShownGroup& Group() const { return group_; }
    // Check marks, in the group and on its rows.
    void SetChecked(int Index, bool Checked);
    void SetAllChecked(bool Checked);
    TBookRow* Selected() const { return selected_; }
    const std::vector<AnsiString>& Groups() const { return groups_; }
    // The group the rows belong to, -1 when none.
    int ShownGroup() const;

private:
    void lvAddrSelectItem(TBookRow* Item, bool Selected);
    void syncSelection();
    void forgetSelection();
    void selectRow(TBookRow* Row);
    // A row for contact Index, not yet in the list; OpIndex, when given, is
    // GetOpIndex of the contact's address.
    TBookRow* makeRow(int Index, std::optional<int> OpIndex = std::nullopt);
    TBookRow* appendRow(int Index);
    void showRow(TBookRow* Row, std::optional<int> OpIndex = std::nullopt);
    // SetColumn2 with the contact's operator already found.
    AnsiString column2Of(const TBookItem& Item, int OpIndex) const;
    void rowChanged(QTreeWidgetItem* Row);
    bool moveSelected(int Delta);
    bool acceptContactName(const AnsiString& Name, bool Editing);
    bool acceptGroupName(const AnsiString& Name, bool Renaming);
    void warn(const QString& Text);
    void notice(const QString& Text);
    bool ask(const QString& Text);
    void openAddContact();
    void openEditContact();
    void openAddGroup();
    void openRenameGroup();

    QWidget* parent_;
    const TOpList& opList_;
    std::string bookFile_;
    std::vector<AnsiString> groups_;  // the items of cbAddrBook
    // The section of each group as book.dat names it; it differs from the
    // group's name only where the file's name could not be stored, until
    // the group is next written.
    std::vector<AnsiString> sections_;
    TShownGroup group_;  // the contacts the rows show, row i of contact i
    QPointer<QTreeWidget> list_;  // lvAddr while it lives
    TBookRow* selected_ = nullptr;
    bool imagesShown_ = false;
};

// The global greeting and signature boxes of the parameters group with their
// edits. A box's handler runs whenever its state changes, also by program.
class TAutoTexts : public QObject {
    Q_OBJECT
public:
    TAutoTexts(QWidget* Parent, const TAddrBook& Book);

    TProgramGrayCheckBox* cbAutoHeader = nullptr;
    QLineEdit* eHeader = nullptr;
    TProgramGrayCheckBox* cbAutoSignat = nullptr;
    QLineEdit* eSignature = nullptr;

    // True while the parameters group is being filled from a contact.
    std::function<bool()> ParamsLoading;
    // Shows the greeting and signature of the selected row in the text box.
    std::function<void(TBookRow* Item)> ViewUserParam;

    void cbAutoHeaderClick();
    void cbAutoSignatClick();

    // The hint of both edits: the macros and their meanings.
    static QString MacroHint();

private:
    void autoClick(QCheckBox* Box, QLineEdit* Edit, const AnsiString& Text, bool& Setting);

    const TAddrBook& book_;
};
