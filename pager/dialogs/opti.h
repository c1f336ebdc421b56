#pragma once
// The options dialog "Настройка программы": the settings record on five
// pages, and the user's own operators of user.dat. OK stores and saves both;
// Cancel writes nothing. The main window reads ViewChanged and
// OperatorsChanged after OK to know what to rebuild.

#include "pager/opcheck.h"
#include "pager/optionsform.h"
#include "pager/useroperators.h"

#include <QDialog>
#include <QIcon>
#include <QList>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QToolButton;
class QTreeWidget;
class TOpList;

// The page for publishing an operator's data (the maker's host is a reserved
// example name).
inline constexpr const char* NewDataUrl = "http://www.kestrane.example/pager/newdata.shtml";

class TOptiWin : public QDialog {
    Q_OBJECT
public:
    // OpList is the main window's operator list (the notice's recipient);
    // TypesImage its pager and SMS icons. UserFile is the full path of user.dat.
    TOptiWin(QWidget* Owner, const TOpList& OpList, const QList<QIcon>& TypesImage, std::string UserFile);
    ~TOptiWin() override;

    // Set once a view setting was touched / the user's operators changed.
    bool ViewChanged = false;
    bool OperatorsChanged = false;

    QTabWidget* pcOptions = nullptr;
    // "Общие"
    QCheckBox* cbAutoRun = nullptr;
    QCheckBox* cbHideOnRun = nullptr;
    QCheckBox* cbRunOneCopy = nullptr;
    QSpinBox* udCountLog = nullptr;
    QSpinBox* udMaxSymbols = nullptr;
    QCheckBox* cbLongMessage = nullptr;
    QCheckBox* cbHideOnSuccess = nullptr;
    QCheckBox* cbFullText = nullptr;
    QCheckBox* cbAutoRus = nullptr;
    QCheckBox* cbIconInBook = nullptr;
    QCheckBox* cbColumn2 = nullptr;
    QComboBox* cbColumns = nullptr;
    QRadioButton* rbDblClick = nullptr;
    QRadioButton* rbClick = nullptr;
    // "Подключение"
    QLineEdit* eFromName = nullptr;
    QLineEdit* eFromAddress = nullptr;
    QLineEdit* eSMTP = nullptr;
    QSpinBox* udPort = nullptr;
    QLineEdit* eUserID = nullptr;
    QCheckBox* cbUseOrvDialer = nullptr;
    QSpinBox* udSendLater = nullptr;
    QCheckBox* cbSendLaterOn = nullptr;
    // "Локальная база"
    QTreeWidget* lvOperators = nullptr;
    QToolButton* sbAddOp = nullptr;
    QToolButton* sbDelOp = nullptr;
    QToolButton* sbEditOp = nullptr;
    QToolButton* sbNewData = nullptr;
    QLabel* stMailGate = nullptr;
    QLabel* stDescription = nullptr;
    // "Проверка почты"
    QCheckBox* cbCheckMailActive = nullptr;
    QLineEdit* ePOPHost = nullptr;
    QLineEdit* ePOPUserID = nullptr;
    QLineEdit* ePOPPassword = nullptr;
    QSpinBox* udCheckMail = nullptr;
    QComboBox* cbCode = nullptr;
    QComboBox* cbToOperator = nullptr;
    QLineEdit* eToNum = nullptr;
    QPlainTextEdit* mNotifText = nullptr;
    // "О программе"
    QLabel* stTitle = nullptr;
    QPushButton* bOK = nullptr;
    QPushButton* bCancel = nullptr;

    // Replaceable for tests: a refusal or failure (the dialog stays open), the
    // Yes/No question before a deletion, and the operator dialog (nullptr to
    // add, else the row's fields; the fields on OK, nothing on Cancel; Check
    // refuses an operator already listed).
    std::function<void(const QString& Text)> ShowMessage;
    std::function<bool(const QString& Text)> Ask;
    std::function<std::optional<TOpItemFields>(const TOpItemFields* Edit,
                                               std::function<AnsiString(const TOpItemFields&)> Check)>
        ShowOpItemDialog;

    // The controls as values, and back.
    TOptionsForm Form() const;
    void SetForm(const TOptionsForm& Form);
    // The user's operators as listed.
    const std::vector<TUserOperator>& UserOperators() const { return ops_; }

    void LoadUserOperators();
    void SaveOperators();
    void sbAddOpClick();
    void sbEditOpClick();
    void sbDelOpClick();
    void lvOperatorsSelectItem();
    void cbCheckMailActiveClick();
    void cbColumn2Click();
    void sbNewDataClick();
    void bOKClick();

protected:
    void done(int Result) override;

private:
    void createControls();
    QWidget* createGeneralPage();
    QWidget* createConnectPage();
    QWidget* createBasePage();
    QWidget* createMailPage();
    QWidget* createAboutPage();
    void bindEvents();
    void FormCreate();
    void showRow(int Index);
    int selectedRow() const;
    // The message when Op would be a second row of the same section, else empty.
    AnsiString sameOperator(const TOpItemFields& Fields, int Self) const;

    const TOpList& opList_;
    QList<QIcon> typesImage_;
    std::string userFile_;
    std::vector<TUserOperator> ops_;  // the rows of lvOperators, in order
    std::vector<QWidget*> mailControls_;  // what cbCheckMailActive enables
    bool toTouched_ = false;  // the user changed the notice's operator or number
};
