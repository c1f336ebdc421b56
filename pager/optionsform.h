#pragma once
// The options dialog's controls as values, and how they are loaded from the
// settings record and stored back into it when the dialog closes with OK.

#include "pager/ini.h"
#include "platform/ansistring.h"

#include <cstdint>

class TOpList;

// The range of an up-down and its edit (at most 4 digits).
struct TUpDownRange {
    int Min = 0;
    int Max = 9999;
};
inline constexpr TUpDownRange CountLogRange{0, 9999};
inline constexpr TUpDownRange MaxSymbolsRange{0, 9999};
inline constexpr TUpDownRange PortRange{0, 9999};
inline constexpr TUpDownRange SendLaterRange{1, 9999};
inline constexpr TUpDownRange CheckMailRange{1, 9999};

// The position an up-down takes for Value: clamped to its range.
int UpDownPosition(int32_t Value, TUpDownRange Range);

// What the controls of the options dialog hold, by control.
struct TOptionsForm {
    // "Общие"
    bool AutoRun = false;       // cbAutoRun
    bool HideOnRun = false;     // cbHideOnRun
    bool RunOneCopy = false;    // cbRunOneCopy
    int CountLog = 0;           // udCountLog
    int MaxSymbols = 0;         // udMaxSymbols
    bool LongMessage = false;   // cbLongMessage
    bool HideOnSuccess = false; // cbHideOnSuccess
    bool FullText = false;      // cbFullText
    bool AutoRus = false;       // cbAutoRus
    bool IconInBook = false;    // cbIconInBook
    bool Column2 = false;       // cbColumn2
    int Columns = 0;            // cbColumns' index (-1: none)
    bool DblClick = true;       // rbDblClick (rbClick is the other)
    // "Подключение"
    AnsiString FromName;        // eFromName
    AnsiString FromAddress;     // eFromAddress
    AnsiString SMTP;            // eSMTP
    int Port = 0;               // udPort
    AnsiString UserID;          // eUserID
    bool UseOrvDialer = false;  // cbUseOrvDialer
    int SendLater = 1;          // udSendLater
    bool SendLaterOn = false;   // cbSendLaterOn
    // "Проверка почты"
    bool CheckMailActive = false;  // cbCheckMailActive
    AnsiString POPHost;            // ePOPHost
    AnsiString POPUserID;          // ePOPUserID
    AnsiString POPPassword;        // ePOPPassword
    int CheckMail = 1;             // udCheckMail
    int Code = 0;                  // cbCode's index (-1: none)
    int ToOperator = -1;           // cbToOperator's index into OpList (-1: none)
    AnsiString ToNum;              // eToNum
    AnsiString NotifText;          // mNotifText, lines ended by CR LF
};

// The controls as the dialog's creation fills them: every option by its
// control; the notice's operator is the one whose template matches
// CheckEmail.To and the number is cut out of it.
TOptionsForm OptionsFormOf(const TIni& Ini, const TOpList& OpList);

// The controls back into the record, as OK stores them: the sender's name and
// address, the SMTP host and user name trimmed; every short text cut to 255
// characters (the notice text is not cut). CheckEmail.To is built anew from
// the chosen operator's template and the number only when ToChanged (the user
// changed the operator or the number); with no operator chosen it is then
// empty. Otherwise it stays exactly as it was.
void ApplyOptionsForm(const TOptionsForm& Form, bool ToChanged, const TOpList& OpList, TIni& Ini);
