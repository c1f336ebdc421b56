#pragma once
// pager.ini as a fresh installation writes it: every key with its default, in
// the order the program writes them.

#include "tests/support/testenv.h"

#include <string>

namespace testenv {

inline std::string defaultPagerIni()
{
    return "[Run]\r\nAutoRun=0\r\nHideOnRun=0\r\nRunOneCopy=1\r\n\r\n"
           "[Message]\r\nCutLongMessage=1\r\nHideOnSuccess=0\r\nFullText=1\r\nRusLayout=1\r\n"
           "MaxSymbols=240\r\nCountLogMsg=10\r\n\r\n"
           "[Connect]\r\nFromAddress=yourname@example.com\r\nFromName=Your Name\r\n"
           "Host=smtp.example.com\r\nPort=25\r\nUserID=\r\nUseOrvDialer=0\r\nPollingInterval=5\r\n"
           "AlwaysOn=0\r\n\r\n"
           "[View]\r\nIconsInBook=1\r\nColumn2=0\r\n\r\n"
           "[CheckEmail]\r\nActive=0\r\nHost=pop.example.com\r\nUserID=\r\nPassword=\r\n"
           "CheckEvery=10\r\nCode=0\r\nTo=\r\nText=" +
           cp("Свежая почта: %CountNewMsg% новых сообщений; всего %CountAllMsg%") +
           "\r\n\r\n"
           "[Main]\r\nAuthor=Kestrane\r\nVersion=3.6\r\nBookIndex=0\r\nIsSignature=0\r\n"
           "Signature=%FROMNAME%\r\nCopyToEmail=0\r\nIsHeader=0\r\nHeader=" +
           cp("Привет, %NAME%!") + "\r\nIconDblClick=1\r\nListWithPhone=0\r\n";
}

}  // namespace testenv
