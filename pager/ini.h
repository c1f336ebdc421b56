#pragma once
// The pager's settings: one program-wide record, read from pager.ini when the
// main window is made and written back by the options dialog and at close.
// Each field is named by its section and key (Ini.Connect.Host).

#include "platform/ansistring.h"

#include <cstdint>
#include <string>

struct TIni {
    struct {
        int32_t BookIndex = 0;
        bool IsSignature = false;
        AnsiString Signature;
        bool CopyToEmail = false;
        bool IsHeader = false;
        AnsiString Header;
        bool IconDblClick = false;
        bool ListWithPhone = false;
    } Main;
    struct {
        bool AutoRun = false;
        bool HideOnRun = false;
        bool RunOneCopy = false;
    } Run;
    struct {
        bool CutLongMessage = false;
        bool HideOnSuccess = false;
        bool FullText = false;
        bool RusLayout = false;
        int32_t MaxSymbols = 0;
        int32_t CountLogMsg = 0;
    } Message;
    struct {
        AnsiString FromAddress;
        AnsiString FromName;
        AnsiString Host;
        int32_t Port = 0;
        AnsiString UserID;
        bool UseOrvDialer = false;
        int32_t PollingInterval = 0;
        bool AlwaysOn = false;
    } Connect;
    struct {
        bool IconsInBook = false;
        int32_t Column2 = 0;
    } View;
    struct {
        bool Active = false;
        AnsiString Host;
        AnsiString UserID;
        AnsiString Password;  // plain text in memory, scrambled in the file
        int32_t CheckEvery = 0;
        int32_t Code = 0;
        AnsiString To;
        AnsiString Text;  // the only field of any length; CR LF between lines
    } CheckEmail;
};

// The one settings record of the program.
extern TIni Ini;

// Placeholders of a fresh installation. The sending road asks for a host while
// Connect.Host still equals DefaultSmtpHost.
inline constexpr const char* DefaultFromAddress = "yourname@example.com";
inline constexpr const char* DefaultSmtpHost = "smtp.example.com";
inline constexpr const char* DefaultPop3Host = "pop.example.com";

// Fill Ini from ProgramPath + "pager.ini" / write every key of it back.
// SaveOptions raises "Unable to write to <file>" when the file cannot be
// written; the old file then stays whole. A new file gets mode 0600 (it
// holds the mailbox password); an existing one keeps its mode.
void LoadOptions();
void SaveOptions();

// The same on any record and file (used by the two above and by tests).
void LoadOptions(TIni& ini, const std::string& fileName);
void SaveOptions(const TIni& ini, const std::string& fileName);
