#include "pager/sentlog.h"

#include "common/strs.h"
#include "pager/service.h"
#include "platform/inifile.h"


AnsiString LogDate(const QDateTime& Now)
{
    const QTime t = Now.time();
    return FormatDate(1, Now) + " " + IntToStrZ(t.hour(), 2) + ":" + IntToStrZ(t.minute(), 2) + ":" +
           IntToStrZ(t.second(), 2);
}

void AddLogRow(std::vector<TLogRow>& Rows, TLogRow Row, int32_t CountLogMsg)
{
    Rows.insert(Rows.begin(), std::move(Row));
    while (!Rows.empty() && static_cast<int64_t>(Rows.size()) - 1 > CountLogMsg) Rows.pop_back();
}

std::vector<TLogRow> LoadLog(const std::string& FileName)
{
    const TIniFile f(FileName);
    std::vector<TLogRow> rows;
    for (const AnsiString& section : f.ReadSections()) {
        rows.push_back({StorableName(f.ReadString(section, "To", "")), OneLineValue(f.ReadString(section, "Date", "")),
                        StrToLines(OneLineValue(f.ReadString(section, "Text", "")))});
    }
    return rows;
}

void SaveLog(const std::string& FileName, const std::vector<TLogRow>& Rows, int32_t CountLogMsg)
{
    if (CountLogMsg <= 0) return;
    if (Rows.empty()) {
        TIniFile::DeleteFile(FileName);
        return;
    }
    TIniFile f(FileName);
    f.Clear();
    for (size_t i = 0; i < Rows.size() && static_cast<int64_t>(i) < CountLogMsg; ++i) {
        const AnsiString section = "Message" + std::to_string(i + 1);
        f.WriteString(section, "To", StorableName(Rows[i].To));
        f.WriteString(section, "Date", OneLineValue(Rows[i].Date));
        f.WriteString(section, "Text", OneLineValue(LinesToStr(Rows[i].Text)));
    }
    f.UpdateFile();
}

void TSentLog::Load()
{
    for (TLogRow& r : LoadLog(fileName_)) rows_.push_back(std::move(r));
}
