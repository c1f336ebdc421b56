#include "netcomp/qormsg.h"

#include "common/strs.h"
#include "netcomp/qor_util.h"
#include "netcomp/qormime.h"
#include "platform/app.h"
#include "platform/codepage.h"

#include <algorithm>

namespace {

using LineList = std::vector<AnsiString>;

bool contains(std::string_view s, std::string_view what) { return s.find(what) != std::string_view::npos; }

// The lines joined, each followed by CR LF.
AnsiString joined(const LineList& lines)
{
    AnsiString text;
    for (const auto& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

// The lines joined by CR LF, none after the last.
AnsiString joinedWithoutLastBreak(const LineList& lines)
{
    AnsiString text = joined(lines);
    if (!lines.empty()) text.resize(text.size() - 2);
    return text;
}

// Text as the inside of a quoted string: every quote and backslash escaped.
AnsiString quoted(std::string_view text)
{
    AnsiString out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// The subject as base64 encoded words of at most 75 characters each. A
// UTF-8 character is never split between two words.
LineList encodedSubjectWords(std::string_view subject, const AnsiString& charset)
{
    const int overhead = static_cast<int>(charset.size()) + 7;  // "=?" cs "?B?" ... "?="
    const int perWord = std::max(1, (75 - overhead) / 4) * 3;   // bytes a word holds
    const bool utf8 = codepage::sameText(charset, "UTF-8") || codepage::sameText(charset, "UTF8");
    LineList words;
    std::size_t at = 0;
    do {
        std::size_t n = std::min(subject.size() - at, static_cast<std::size_t>(perWord));
        if (utf8) {
            std::size_t cut = n;
            while (cut > 0 && at + cut < subject.size() && (byteOf(subject[at + cut]) & 0xC0) == 0x80) --cut;
            if (cut > 0) n = cut;
        }
        words.push_back("=?" + charset + "?B?" + Base64Encode(subject.substr(at, n)) + "?=");
        at += n;
    } while (at < subject.size());
    return words;
}

bool hasLineBreakOrNul(std::string_view s)
{
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

}  // namespace

// ---- parsing ----

void TQorMsg::SetRawMail(const TExStringList& Lines)
{
    RawMail = Lines;
    ParseRawMail();
}

void TQorMsg::ParseRawMail()
{
    if (RawMail.Count() == 0) return;
    for (const auto& line : RawMail) {
        if (line.empty()) break;
        Headers.Add(line);
    }
    ParseHeaders();
    ParseBody(RawMail.Lines(), 0);
    if (ClearRawMailAfterParse) RawMail.Clear();
}

void TQorMsg::ParseHeaders()
{
    if (Headers.Count() == 0) return;
    const LineList& h = Headers.Lines();
    AnsiString line;
    // The address of an mbox "From " separator line; any first line gives its
    // characters 6 to 77 here, until a From header says better.
    From = MidStr(h[0], 6, 72);
    // Unstructured values and address lists are taken whole; only the
    // Content-* headers carry parameters after a ";".
    auto value = [&](const char* name, AnsiString& out) {
        if (!FindHeader(name, h, line)) return false;
        out = GetHeaderValue(name, line, false);
        return true;
    };
    AnsiString v;
    if (value("FROM:", v)) From = DecodeEncodedWord(v);
    if (value("SENDER:", v)) Sender = CleanAddressList(v);
    value("MESSAGE-ID:", MessageId);
    value("IN-REPLY-TO:", InReplyTo);
    value("RETURN-PATH:", ReturnPath);
    if (value("REPLY-TO:", v)) ReplyTo = CleanAddressList(v);
    if (value("TO:", v)) SendTo = CleanAddressList(v);
    if (value("CC:", v)) CC = CleanAddressList(v);
    value("DATE:", Date);
    if (value("SUBJECT:", v)) Subject = DecodeEncodedWord(v);
    ContentType = FindHeader("CONTENT-TYPE:", h, line)
                      ? codepage::upperCase(GetHeaderValue("CONTENT-TYPE:", line))
                      : AnsiString("TEXT/PLAIN");
    ContentTransferEncoding = FindHeader("CONTENT-TRANSFER-ENCODING:", h, line)
                                  ? codepage::upperCase(GetHeaderValue("CONTENT-TRANSFER-ENCODING:", line))
                                  : AnsiString("7BIT");
}

void TQorMsg::GetContentInfo(const LineList& Lines, AnsiString& Type, AnsiString& Name, AnsiString& Encoding) const
{
    AnsiString line;
    Type = "TEXT/PLAIN";
    Name.clear();
    if (FindHeader("CONTENT-TYPE:", Lines, line)) {
        Type = codepage::upperCase(GetHeaderValue("CONTENT-TYPE:", line));
        Name = GetParameter("NAME", line);
    }
    Encoding = FindHeader("CONTENT-TRANSFER-ENCODING:", Lines, line)
                   ? codepage::upperCase(GetHeaderValue("CONTENT-TRANSFER-ENCODING:", line))
                   : AnsiString("7BIT");
    if (Name.empty() && FindHeader("CONTENT-DISPOSITION:", Lines, line)) Name = GetParameter("FILENAME", line);
    if (!Name.empty()) Name = Trim(DecodeEncodedWord(StripQuotes(Name)));
}

void TQorMsg::appendText(const LineList& Lines)
{
    for (const auto& line : Lines) Text.Add(line);
}

void TQorMsg::ParseBody(LineList Lines, int Depth, bool AsText)
{
    if (AsText) {
        StripHeaders(Lines);
        appendText(Lines);
        return;
    }
    AnsiString type, name, encoding;
    GetContentInfo(Lines, type, name, encoding);

    if (!contains(type, "TEXT")) {
        if (contains(type, "MULTIPART")) {
            std::vector<Part> parts;
            SplitMultipart(std::move(Lines), parts, Depth);
            for (auto& part : parts) ParseBody(std::move(part.Lines), part.Depth, part.AsText);
            return;
        }
        StripHeaders(Lines);
        if (encoding == "X-UUENCODE" || !name.empty()) {
            AddAttachment(Lines, type, name, encoding);
        } else if (type == "MESSAGE/RFC822") {
            // The enclosed message's header block heads what is left.
            if (Depth < MaxDepth) ParseBody(std::move(Lines), Depth + 1);
            else appendText(Lines);
        } else if (encoding != "BASE64" && encoding != "QUOTED-PRINTABLE") {
            appendText(Lines);
        } else {
            AddAttachment(Lines, type, name, encoding);
        }
        return;
    }

    StripHeaders(Lines);
    if (!name.empty() || type == "TEXT/HTML") {
        AddAttachment(Lines, type, name, encoding);
        return;
    }

    // Uuencoded blocks inside the text become attachments; the "end" line
    // stays in the text. A block that does not decode (prose that merely
    // looks like a begin line) goes back where it was.
    std::size_t from = 0, at = 0;
    AnsiString fileName;
    while (FindUUBegin(Lines, from, at, fileName)) {
        std::size_t end = at + 1;
        while (end < Lines.size() && codepage::lowerCase(Trim(Lines[end])) != "end") ++end;
        const auto first = Lines.begin() + static_cast<std::ptrdiff_t>(at);
        const auto last = Lines.begin() + static_cast<std::ptrdiff_t>(end);
        LineList block;
        std::copy_if(first, last, std::back_inserter(block), [](const AnsiString& l) { return !l.empty(); });
        if (AddAttachment(block, "APPLICATION/OCTET-STREAM", fileName, "X-UUENCODE", true)) {
            Lines.erase(first, last);
            encoding = "X-UUENCODE";
            from = at;
        } else {
            from = end;
        }
    }

    if (encoding == "QUOTED-PRINTABLE") {
        Lines = SplitLines(QPDecode(joined(Lines)));
    } else if (encoding == "BASE64") {
        AnsiString encoded;
        for (const auto& line : Lines) encoded += line;
        Lines = SplitLines(Base64Decode(encoded));
    }
    appendText(Lines);
}

void TQorMsg::SplitMultipart(LineList Lines, std::vector<Part>& Parts, int Depth)
{
    AnsiString contentType;
    if (!FindHeader("CONTENT-TYPE:", Lines, contentType) || !contains(codepage::upperCase(contentType), "MULTIPART")) {
        Parts.push_back({std::move(Lines), Depth, false});
        return;
    }
    // Too deep, no boundary, or no delimiter line: nothing to split at, and
    // the text is not thrown away.
    const AnsiString delimiter = GetBoundary(contentType);
    LineList body = Lines;
    StripHeaders(body);
    const auto start = std::find(body.begin(), body.end(), delimiter);
    if (Depth >= MaxDepth || delimiter.empty() || start == body.end()) {
        Parts.push_back({std::move(Lines), Depth, true});
        return;
    }
    const AnsiString closing = delimiter + "--";
    LineList current;
    for (auto it = start + 1; it != body.end() && *it != closing; ++it) {
        if (*it == delimiter) {
            SplitMultipart(std::move(current), Parts, Depth + 1);
            current.clear();
        } else {
            current.push_back(std::move(*it));
        }
    }
    SplitMultipart(std::move(current), Parts, Depth + 1);
}

bool TQorMsg::AddAttachment(const LineList& Lines, const AnsiString& Type, AnsiString Name, const AnsiString& Encoding,
                            bool LiftedFromText)
{
    if (Name.empty()) {
        Name = Subject;
        if (Type == "TEXT/HTML") Name = ChangeFileExt(Name, ".html");
        else if (Type == "IMAGE/JPEG") Name = ChangeFileExt(Name, ".jpeg");
        else if (Type == "IMAGE/GIF") Name = ChangeFileExt(Name, ".gif");
    }
    Name = DelChars(Name, CharsOf("\\/:*?\"<>|"));
    TAttachedFile& file = Attachments.Add(Name);

    auto keepUndecoded = [&] {
        const AnsiString text = joinedWithoutLastBreak(Lines);
        file.Data.Clear();
        file.Data.WriteBuffer(text.data(), static_cast<int>(text.size()));
    };
    try {
        if (Encoding == "BASE64" || Encoding == "X-UUENCODE") {
            for (const auto& line : Lines) file.EncodedLines.Add(line);
            if (Encoding == "BASE64") file.DecodeBase64();
            else file.DecodeUU();
            file.EncodedLines.Clear();
        } else if (Encoding == "QUOTED-PRINTABLE") {
            const AnsiString text = joinedWithoutLastBreak(SplitLines(QPDecode(joined(Lines))));
            file.Data.WriteBuffer(text.data(), static_cast<int>(text.size()));
        } else {
            keepUndecoded();
        }
    } catch (const Exception&) {
        // A part that does not decode (or a temporary file that cannot be
        // written) keeps its text as it came; a block taken from text goes
        // back into the text.
        if (LiftedFromText) {
            Attachments.Delete(Attachments.Count() - 1);
            return false;
        }
        file.EncodedLines.Clear();
        keepUndecoded();
    }
    file.Data.SetPosition(0);
    return true;
}

bool TQorMsg::FindUUBegin(const LineList& Lines, std::size_t From, std::size_t& Index, AnsiString& FileName)
{
    for (std::size_t i = From; i < Lines.size(); ++i) {
        const AnsiString& line = Lines[i];
        if (line.size() <= 10 || codepage::lowerCase(line.substr(0, 5)) != "begin") continue;
        const std::string_view mode = std::string_view(line).substr(6, 3);
        if (!std::all_of(mode.begin(), mode.end(), [](char c) { return c >= '0' && c <= '9'; })) continue;
        const int value = std::stoi(AnsiString(mode));
        if (value < 1 || value > 776) continue;
        Index = i;
        FileName = MidStr(line, 11, 64);
        return true;
    }
    return false;
}

// ---- building ----

void TQorMsg::FillRawMail()
{
    RawMail.Clear();
    if (!contains(From, "@")) throw Exception("\"From\" address not complete.");

    // A line break in a field would end its header line early and let the
    // rest pass as header lines (or body) of their own.
    auto check = [](const AnsiString& value, const AnsiString& field) {
        if (hasLineBreakOrNul(value))
            throw Exception(codepage::fromUtf8("Поле \"") + field +
                            codepage::fromUtf8("\" письма содержит перевод строки."));
    };
    const std::pair<const AnsiString*, const char*> fields[] = {
        {&UserName, "UserName"}, {&From, "From"},       {&InReplyTo, "InReplyTo"},
        {&ReplyTo, "ReplyTo"},   {&XMailer, "XMailer"}, {&SendTo, "SendTo"},
        {&CC, "CC"},             {&Subject, "Subject"}, {&Date, "Date"},
        {&CharSet, "CharSet"},
    };
    for (const auto& [value, field] : fields) check(*value, field);
    for (const auto& line : ExtraHeaders) check(line, "ExtraHeaders");
    for (int i = 0; i < Attachments.Count(); ++i) {
        check(Attachments.Items(i).FileName, "FileName");
        check(Attachments.Items(i).ContentType, "ContentType");
    }

    LineList body = Text.Lines();
    LineList header;
    header.push_back("Message-Id: " + MakeMessageId("q.o.r"));
    header.push_back("Date: " + Date);
    header.push_back("X-Priority: " + std::to_string(static_cast<int>(Priority) + 1));
    header.push_back(UserName.empty() ? "From: " + From : "From: " + quoted(UserName) + " <" + From + ">");
    if (!InReplyTo.empty()) header.push_back("In-Reply-To: " + InReplyTo);
    if (!ReplyTo.empty()) header.push_back("Reply-To: " + ReplyTo);
    header.push_back("X-Mailer: " + XMailer);
    header.push_back("To: " + SendTo);
    if (!CC.empty()) header.push_back("CC: " + CC);
    header.push_back("MIME-Version: 1.0");

    AnsiString encodingWord;
    if (TextEncoding == teBase64) {
        encodingWord = "base64";
        const LineList words = encodedSubjectWords(Subject, CharSet);
        header.push_back("Subject: " + words.front());
        for (std::size_t i = 1; i < words.size(); ++i) header.push_back(" " + words[i]);
        body = SplitLines(Base64Encode(joined(body)));
    } else {
        encodingWord = "8Bit";
        for (auto& line : body) {
            if (!line.empty() && line[0] == '.') line.insert(0, 1, '.');
        }
        header.push_back("Subject: " + Subject);
    }

    if (Attachments.Count() == 0) {
        header.push_back("Content-Type: text/plain; charset=" + CharSet);
        header.push_back("Content-Transfer-Encoding: " + encodingWord);
    } else {
        const AnsiString boundary = MakeBoundary();
        header.push_back("Content-Type: multipart/mixed; boundary=\"" + boundary + "\"");
        LineList mixed = {"--" + boundary, "Content-Type: text/plain; charset=" + CharSet,
                       "Content-Transfer-Encoding: " + encodingWord, ""};
        mixed.insert(mixed.end(), body.begin(), body.end());
        for (int i = 0; i < Attachments.Count(); ++i) {
            TAttachedFile& file = Attachments.Items(i);
            file.EncodeBase64();
            if (file.Cancel)
                throw Exception(codepage::fromUtf8("Кодирование вложения \"") + file.FileName +
                                codepage::fromUtf8("\" отменено."));
            mixed.push_back("--" + boundary);
            mixed.push_back("Content-Type: " + file.ContentType + "; name=" + quoted(file.FileName));
            mixed.push_back("Content-Transfer-Encoding: base64");
            mixed.push_back("Content-Disposition: attachment; filename=" + quoted(file.FileName));
            mixed.push_back("");
            app::ProcessMessages();
            mixed.insert(mixed.end(), file.EncodedLines.begin(), file.EncodedLines.end());
        }
        mixed.push_back("");
        mixed.push_back("--" + boundary + "--");
        mixed.push_back("");
        body = std::move(mixed);
    }
    for (const auto& line : ExtraHeaders) header.push_back(line);

    for (auto& line : header) RawMail.Add(std::move(line));
    RawMail.Add("");
    for (auto& line : body) RawMail.Add(std::move(line));
}

// ---- the list ----

TQorMsgList::~TQorMsgList()
{
    for (auto& msg : items_) {
        if (msg && !msg->parent()) delete msg.data();
    }
}

TQorMsg* TQorMsgList::GetItem(int Index) const
{
    if (Index < 0 || Index >= Count())
        throw Exception("List index out of bounds (" + std::to_string(Index) + ")");
    return items_[static_cast<std::size_t>(Index)].data();
}

void TQorMsgList::Add(TQorMsg* Msg) { items_.emplace_back(Msg); }

void TQorMsgList::Delete(int Index)
{
    GetItem(Index);
    QPointer<TQorMsg> msg = items_[static_cast<std::size_t>(Index)];
    items_.erase(items_.begin() + Index);
    delete msg.data();
}

void TQorMsgList::Clear()
{
    while (!items_.empty()) {
        QPointer<TQorMsg> msg = items_.back();
        items_.pop_back();
        delete msg.data();
    }
}
