// TVelRasCon, phonebook side: entries, entry properties, dial parameters and
// the telephony location.

#include "dialer/ras/rastext.h"
#include "dialer/ras/velrascon.h"
#include "dialer/ras/veltapiapi.h"
#include "platform/codepage.h"
#include "platform/registry.h"

#include <algorithm>
#include <array>
#include <cstring>

using namespace ras;
using namespace velras;

namespace {

// The most a phonebook record with its alternates may take; a service that
// asks for more is not believed.
constexpr DWORD kMaxRecordBytes = 64 * 1024;
// The most entries a phonebook listing is grown for.
constexpr DWORD kMaxEntries = 100000;

// Reads the alternate numbers that follow a record: NUL-terminated texts from
// Offset, up to an empty one or the end of the Size bytes returned.
std::vector<AnsiString> alternatesOf(const std::vector<char>& buf, DWORD offset, DWORD size)
{
    std::vector<AnsiString> out;
    size = std::min<DWORD>(size, static_cast<DWORD>(buf.size()));
    if (offset == 0) return out;
    size_t pos = offset;
    while (pos < size) {
        const size_t len = strnlen(buf.data() + pos, size - pos);
        if (len == 0) break;
        out.push_back(Trim(std::string_view(buf.data() + pos, len)));
        pos += len + 1;
    }
    return out;
}

// Asks a record of the service in two calls, the first for its size: the
// buffer is then at least as large as the record of the caller's level and
// as the service asked for. Fill(buffer, size) makes one call.
template <class Record, class Fill>
DWORD readRecord(std::vector<char>& buf, DWORD& size, DWORD recordSize, Fill fill)
{
    size = 0;
    DWORD r = fill(nullptr, size);
    if (r != 0 && r != ERROR_BUFFER_TOO_SMALL) return r;
    size = std::clamp<DWORD>(size, recordSize, kMaxRecordBytes);
    buf.assign(std::max<size_t>(size, sizeof(Record)), 0);
    std::memcpy(buf.data(), &recordSize, sizeof recordSize);
    return fill(reinterpret_cast<Record*>(buf.data()), size);
}

}  // namespace

void TVelRasCon::SetPhoneBookPath(const AnsiString& Value)
{
    phoneBookPath_ = Value;
    ReadPhoneBookEntries();
}

int TVelRasCon::ReadPhoneBookEntries()
{
    if (!LoadRasApi() || !RasEnumEntriesA) {
        LastError = ERROR_DLL_NOT_FOUND;
        return LastError;
    }
    PhoneBookEntries.clear();
    std::vector<RASENTRYNAMEA> names(100);
    DWORD count = 0;
    DWORD r = 0;
    // A phonebook larger than the buffer answers with the size it needs; the
    // listing is made again with that much room (the phonebook may still grow
    // meanwhile).
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::fill(names.begin(), names.end(), RASENTRYNAMEA{});
        names[0].dwSize = sizeof(RASENTRYNAMEA);
        DWORD size = static_cast<DWORD>(names.size() * sizeof(RASENTRYNAMEA));
        count = 0;
        r = RasEnumEntriesA(nullptr, PhoneBookArg(), names.data(), &size, &count);
        const DWORD want = size / sizeof(RASENTRYNAMEA) + 1;
        if (r != ERROR_BUFFER_TOO_SMALL || want <= names.size() || want > kMaxEntries) break;
        names.resize(want);
    }
    LastError = static_cast<int32_t>(r);
    if (r == 0) {
        for (DWORD i = 0; i < count && i < names.size(); ++i) {
            AnsiString name = rastext::Field(names[i].szEntryName);
            if (!name.empty()) PhoneBookEntries.push_back(std::move(name));
        }
    }
    return LastError;
}

int TVelRasCon::ReadEntryProperties()
{
    if (!LoadRasApi() || !EntryPropertiesBound() || !RasGetEntryPropertiesA) {
        LastError = ERROR_DLL_NOT_FOUND;
        return LastError;
    }
    for (int i = 1; i <= 4; ++i) {
        SubLocalPhoneNumber[i].clear();
        SubPhoneCanonical[i].clear();
        SubDeviceType[i].clear();
        SubDeviceName[i].clear();
        SubDevicePort[i].clear();
    }
    SubEntriesRead = 0;
    const DWORD recordSize = EntrySize();
    std::vector<char> buf;
    DWORD size = 0;
    const DWORD r = readRecord<RASENTRYA>(buf, size, recordSize, [&](RASENTRYA* info, DWORD& bytes) {
        std::array<char, 256> device{};
        DWORD deviceSize = info ? static_cast<DWORD>(device.size()) : 0;
        return RasGetEntryPropertiesA(PhoneBookArg(), EntryName.c_str(), info, &bytes,
                                      info ? device.data() : nullptr, &deviceSize);
    });
    LastError = static_cast<int32_t>(r);
    if (r != 0) {
        StatusText = ErrorText(LastError);
        return LastError;
    }
    const auto& e = *reinterpret_cast<const RASENTRYA*>(buf.data());
    EntryOptions = e.dwfOptions;
    useCountryAndAreaCodes_ = (e.dwfOptions & RASEO_UseCountryAndAreaCodes) != 0;
    promoteAlternates_ = (e.dwfOptions & RASEO_PromoteAlternates) != 0;
    CountryCode = static_cast<int32_t>(e.dwCountryCode);
    CountryID = static_cast<int32_t>(e.dwCountryID);
    AreaCode = Trim(rastext::Field(e.szAreaCode));
    LocalPhoneNumber = Trim(rastext::Field(e.szLocalPhoneNumber));
    PhoneCanonical = MakeCanonical(useCountryAndAreaCodes_, CountryCode, LocalPhoneNumber, AreaCode);
    SplitDeviceName(e.szDeviceName, DevicePort, DeviceName);
    DeviceType = codepage::lowerCase(rastext::Field(e.szDeviceType));
    AutoDialDLL = rastext::Field(e.szAutodialDll);
    AutoDialFunc = rastext::Field(e.szAutodialFunc);
    // The short record of level 0 has neither field.
    const bool longForm = recordSize >= kEntrySizes[1];
    SubEntryCount = longForm ? static_cast<int32_t>(e.dwSubEntries) : 0;
    DialMode = longForm ? static_cast<int32_t>(e.dwDialMode) : 0;
    AltPhoneNumbers = alternatesOf(buf, e.dwAlternateOffset, size);

    if (SystemLevel >= 1) {
        int result = 0;
        for (int i = 1; i <= SubEntryCount && i <= 4; ++i) {
            result = ReadSubEntryProperties(i);
            LastError = result;
            if (result != 0) {
                StatusText = ErrorText(result);
                break;
            }
            ++SubEntriesRead;
        }
        return result;
    }
    if (const auto multiLink = registry::readDword("RemoteAccess\\Profile\\" + EntryName, "MultiLink")) {
        if (*multiLink == 1) SubEntryCount = 2;
    }
    return 0;
}

int TVelRasCon::ReadSubEntryProperties(int Index)
{
    if (SystemLevel == 0 || Index < 1 || Index > 4) return -1;
    if (!LoadRasApi() || !RasGetSubEntryPropertiesA) {
        LastError = ERROR_DLL_NOT_FOUND;
        return LastError;
    }
    std::vector<char> buf;
    DWORD size = 0;
    const DWORD r =
        readRecord<RASSUBENTRYA>(buf, size, sizeof(RASSUBENTRYA), [&](RASSUBENTRYA* info, DWORD& bytes) {
            return RasGetSubEntryPropertiesA(PhoneBookArg(), EntryName.c_str(), static_cast<DWORD>(Index), info,
                                             &bytes, nullptr, nullptr);
        });
    LastError = static_cast<int32_t>(r);
    if (r != 0) {
        StatusText = ErrorText(LastError);
        return LastError;
    }
    const auto& s = *reinterpret_cast<const RASSUBENTRYA*>(buf.data());
    SubDeviceType[Index] = codepage::lowerCase(rastext::Field(s.szDeviceType));
    SplitDeviceName(s.szDeviceName, SubDevicePort[Index], SubDeviceName[Index]);
    SubLocalPhoneNumber[Index] = rastext::Field(s.szLocalPhoneNumber);
    SubPhoneCanonical[Index] =
        MakeCanonical(useCountryAndAreaCodes_, CountryCode, SubLocalPhoneNumber[Index], AreaCode);
    return 0;
}

AnsiString TVelRasCon::MakeCanonical(bool UseCodes, int Country, const AnsiString& Number, const AnsiString& Area)
{
    AnsiString s;
    if (UseCodes) {
        s = "+" + std::to_string(Country) + " ";
        if (!Area.empty()) s += "(" + Area + ") ";
    }
    return Trim(s + Number);
}

void TVelRasCon::SplitDeviceName(const char* Field, AnsiString& Port, AnsiString& Name)
{
    std::string_view f(Field, RAS_MaxDeviceName + 1);
    while (!f.empty() && byteOf(f.back()) <= ' ') f.remove_suffix(1);
    const size_t nul = f.find('\0');
    if (nul != std::string_view::npos && nul >= 1) {
        Name = Trim(f.substr(0, nul));
        std::string_view port = f.substr(nul + 1, 99);
        port = port.substr(0, port.find('\0'));
        Port = codepage::lowerCase(Trim(port));
    } else {
        Name = Trim(f);
        Port.clear();
    }
}

int TVelRasCon::ReadDialParams()
{
    if (!LoadRasApi() || !RasGetEntryDialParamsA) {
        LastError = ERROR_DLL_NOT_FOUND;
        return LastError;
    }
    UserName.clear();
    Password.clear();
    CallbackNumber.clear();
    Domain.clear();
    RASDIALPARAMSA params{};
    params.dwSize = SystemLevel == 0 ? kDialParamsSizeShort : sizeof(RASDIALPARAMSA);
    rastext::SetField(params.szEntryName, EntryName);
    BOOL saved = 0;
    LastError = static_cast<int32_t>(RasGetEntryDialParamsA(PhoneBookArg(), &params, &saved));
    PasswordSaved = saved != 0;
    if (LastError != 0) {
        StatusText = ErrorText(LastError);
    } else {
        UserName = rastext::Field(params.szUserName);
        if (PasswordSaved) Password = rastext::Field(params.szPassword);
        CallbackNumber = rastext::Field(params.szCallbackNumber);
        Domain = rastext::Field(params.szDomain);
    }
    std::memset(params.szPassword, 0, sizeof params.szPassword);
    return LastError;
}

// ---- telephony

namespace {

void tapiCallback(tapi::DWORD, tapi::DWORD, tapi::DWORD, tapi::DWORD, tapi::DWORD, tapi::DWORD) {}

// A text of a telephony record: Size bytes at Offset from the start of the
// record, up to the first NUL, trimmed.
struct TapiText {
    tapi::DWORD offset;
    tapi::DWORD size;
    AnsiString* text;
};

// Reads the texts in order; false at the first that does not lie inside the
// Limit bytes of the buffer.
bool tapiTexts(const char* base, size_t limit, std::initializer_list<TapiText> texts)
{
    for (const TapiText& t : texts) {
        if (t.size == 0) {
            t.text->clear();
            continue;
        }
        if (t.offset > limit || t.size > limit - t.offset) return false;
        *t.text = Trim(std::string_view(base + t.offset, strnlen(base + t.offset, t.size)));
    }
    return true;
}

template <class Rec>
bool tapiRecord(const char* base, size_t limit, uint64_t offset, Rec& rec)
{
    if (offset > limit || sizeof(Rec) > limit - offset) return false;
    std::memcpy(&rec, base + offset, sizeof rec);
    return true;
}

// Walks Count records from Offset, handing each to Take(record) until Take
// answers that it was the current one. Take answers false when a text of the
// record does not lie inside the buffer; the walk then ends, as it does at a
// record that does not.
template <class Rec, class Take>
bool tapiWalk(const char* base, size_t limit, uint64_t offset, uint64_t count, Take take)
{
    for (uint64_t i = 0; i < count; ++i) {
        Rec rec{};
        if (!tapiRecord(base, limit, offset + i * sizeof rec, rec)) return false;
        bool current = false;
        if (!take(rec, current)) return false;
        if (current) break;
    }
    return true;
}

}  // namespace

bool TVelRasCon::OpenTapi()
{
    if (TapiReady) return true;
    if (!LoadTapiApi() || !veltapi::lineInitialize) return false;
    if (TapiLineApp == 0) {
        if (veltapi::lineInitialize(&TapiLineApp, nullptr, &tapiCallback, nullptr, &TapiDeviceCount) != 0) {
            StatusText = "TAPI Error";
            TapiLineApp = 0;
            return false;
        }
        if (TapiDeviceCount == 0) {
            if (veltapi::lineShutdown) veltapi::lineShutdown(TapiLineApp);
            TapiLineApp = 0;
            return false;
        }
    }
    TapiReady = true;
    return true;
}

void TVelRasCon::CloseTapi()
{
    if (TapiLineApp != 0) {
        if (veltapi::lineShutdown) veltapi::lineShutdown(TapiLineApp);
        TapiLineApp = 0;
        TapiReady = false;
    }
}

int TVelRasCon::ReadTranslateCaps(TTapiLocationSummary& Summary, TTapiLocation& Location, TTapiCountry& Country,
                                  TTapiCard& Card)
{
    Summary = {};
    Location = {};
    Card = {};
    Country = {};
    int result = -1;
    if (!TapiReady && !OpenTapi()) return result;
    if (!veltapi::lineGetTranslateCaps) return result;
    try {
        alignas(8) std::array<char, 3504> buf{};
        auto* caps = reinterpret_cast<tapi::LINETRANSLATECAPS*>(buf.data());
        caps->dwTotalSize = static_cast<tapi::DWORD>(buf.size());
        result = veltapi::lineGetTranslateCaps(TapiLineApp, tapi::kApiVersion, caps);
        if (result != 0) return result;
        const char* base = buf.data();
        const size_t limit = buf.size();
        Summary.NumLocations = caps->dwNumLocations;
        Summary.CurrentLocationID = caps->dwCurrentLocationID;
        Summary.NumCards = caps->dwNumCards;
        Summary.CurrentPreferredCardID = caps->dwCurrentPreferredCardID;

        // Every record and text must lie inside the buffer; the first that
        // does not ends the reading.
        if (caps->dwNumLocations > 0 && caps->dwLocationListSize != 0 &&
            !tapiWalk<tapi::LINELOCATIONENTRY>(
                base, limit, caps->dwLocationListOffset, caps->dwNumLocations, [&](const auto& l, bool& current) {
                    Location.PermanentLocationID = static_cast<int32_t>(l.dwPermanentLocationID);
                    Location.CountryCode = l.dwCountryCode;
                    Location.PreferredCardID = l.dwPreferredCardID;
                    Location.CountryID = l.dwCountryID;
                    Location.Options = l.dwOptions;
                    current = l.dwPermanentLocationID == caps->dwCurrentLocationID;
                    return tapiTexts(
                        base, limit,
                        {{l.dwLocationNameOffset, l.dwLocationNameSize, &Location.Name},
                         {l.dwCityCodeOffset, l.dwCityCodeSize, &Location.CityCode},
                         {l.dwLocalAccessCodeOffset, l.dwLocalAccessCodeSize, &Location.LocalAccessCode},
                         {l.dwLongDistanceAccessCodeOffset, l.dwLongDistanceAccessCodeSize,
                          &Location.LongDistanceAccessCode},
                         {l.dwTollPrefixListOffset, l.dwTollPrefixListSize, &Location.TollPrefixList},
                         {l.dwCancelCallWaitingOffset, l.dwCancelCallWaitingSize, &Location.CancelCallWaiting}});
                })) {
            return result;
        }
        if (caps->dwNumCards > 0 && caps->dwCardListSize != 0 &&
            !tapiWalk<tapi::LINECARDENTRY>(
                base, limit, caps->dwCardListOffset, caps->dwNumCards, [&](const auto& c, bool& current) {
                    Card.PermanentCardID = static_cast<int32_t>(c.dwPermanentCardID);
                    Card.CardNumberDigits = c.dwCardNumberDigits;
                    Card.Options = c.dwOptions;
                    current = c.dwPermanentCardID == caps->dwCurrentPreferredCardID;
                    return tapiTexts(base, limit,
                                     {{c.dwCardNameOffset, c.dwCardNameSize, &Card.Name},
                                      {c.dwSameAreaRuleOffset, c.dwSameAreaRuleSize, &Card.SameAreaRule},
                                      {c.dwLongDistanceRuleOffset, c.dwLongDistanceRuleSize, &Card.LongDistanceRule},
                                      {c.dwInternationalRuleOffset, c.dwInternationalRuleSize,
                                       &Card.InternationalRule}});
                })) {
            return result;
        }
        if (Location.CountryID != 0 && veltapi::lineGetCountry) {
            alignas(8) std::array<char, 512> list{};
            auto* countries = reinterpret_cast<tapi::LINECOUNTRYLIST*>(list.data());
            countries->dwTotalSize = static_cast<tapi::DWORD>(list.size());
            result = veltapi::lineGetCountry(Location.CountryID, tapi::kApiVersion, countries);
            tapi::LINECOUNTRYENTRY c{};
            if (result == 0 && countries->dwNumCountries >= 1 &&
                tapiRecord(list.data(), list.size(), countries->dwCountryListOffset, c)) {
                Country.CountryID = c.dwCountryID;
                Country.CountryCode = c.dwCountryCode;
                Country.NextCountryID = c.dwNextCountryID;
                tapiTexts(list.data(), list.size(),
                          {{c.dwCountryNameOffset, c.dwCountryNameSize, &Country.Name},
                           {c.dwSameAreaRuleOffset, c.dwSameAreaRuleSize, &Country.SameAreaRule},
                           {c.dwLongDistanceRuleOffset, c.dwLongDistanceRuleSize, &Country.LongDistanceRule},
                           {c.dwInternationalRuleOffset, c.dwInternationalRuleSize, &Country.InternationalRule}});
            }
        }
    } catch (...) {
    }
    return result;
}
