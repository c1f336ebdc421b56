#pragma once
// The contact dialog "Добавить запись" / "Редактировать запись": the
// contact's name, e-mail and full name; its operator chosen by type, city and
// operator, its number, pager model and recoding; its own greeting, copy and
// signature. It checks the number and the name as they are typed and writes
// nothing; the address book reads it after OK.

#include "pager/book.h"
#include "pager/contactchoice.h"

#include <QDialog>

#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TOpList;
class TPagerList;

class TBookItWin : public QDialog {
    Q_OBJECT
public:
    // The lists must outlive the dialog.
    TBookItWin(QWidget* Owner, const TOpList& OpList, const TPagerList& PagerList);
    ~TBookItWin() override;

    QGroupBox* gbUser = nullptr;
    QLineEdit* eName = nullptr;
    QLineEdit* eEMail = nullptr;
    QLineEdit* eFullName = nullptr;
    QGroupBox* gbOperator = nullptr;
    QComboBox* cbType = nullptr;
    QComboBox* cbCity = nullptr;
    QComboBox* cbOperators = nullptr;
    QCheckBox* cbWithPhone = nullptr;
    QLineEdit* eNum = nullptr;
    QComboBox* cbPagers = nullptr;
    QComboBox* cbCode = nullptr;
    QGroupBox* gbParams = nullptr;
    QCheckBox* cbAutoHeader = nullptr;
    QLineEdit* eHeader = nullptr;
    QCheckBox* cbCopyEMail = nullptr;
    QCheckBox* cbAutoSignat = nullptr;
    QLineEdit* eSignat = nullptr;
    QPushButton* bOK = nullptr;
    QPushButton* bCancel = nullptr;

    // A refusal on OK (the dialog stays open); a message box by default.
    std::function<void(const QString& Text)> ShowMessage;
    // A check of the opener's after the dialog's own on OK (the message,
    // empty when it passes): the address book refuses a name it cannot take.
    std::function<QString(const TBookItDialogResult& Result)> ExtraCheck;

    // For editing: the caption "Редактировать запись" and every control
    // from the contact, in the order name, full name, e-mail, type, city and
    // operator, number, model, code, greeting, signature, the three boxes.
    void Fill(const TBookItDialogInit& Init);
    // What the address book reads after OK.
    TBookItDialogResult Result() const;

    // Chooses type, city and operator of the operator OpList[Index]; when the
    // lists cannot show it, no operator is chosen.
    void SetTypeCityOperator(int Index);
    // Index of the first model equal to Model apart from letter case, -1 if none.
    int GetPager(const AnsiString& Model) const;

    void cbTypeChange();
    void cbCityChange();
    void LoadCities();
    void LoadOperators();
    void cbWithPhoneClick();
    void eNumChange();
    void cbAutoHeaderClick();
    void cbAutoSignatClick();
    void bOKClick();

    // The address is kept as it is: editing, and none of type, city,
    // operator and number was changed by the user.
    bool KeepAddr() const { return editing_ && !addrTouched_; }

protected:
    void showEvent(QShowEvent* Event) override;
    void done(int Result) override;

private:
    void createControls();
    void FormCreate();
    void FormShow();
    void addrTouched();
    int type() const;

    const TOpList& opList_;
    const TPagerList& pagerList_;
    std::vector<AnsiString> cities_;
    std::vector<TContactOperator> operators_;
    std::vector<AnsiString> models_;
    bool editing_ = false;
    bool addrTouched_ = false;
    bool shown_ = false;
};
