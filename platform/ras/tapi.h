#pragma once
// The telephony service's programming interface, as far as the dialer uses
// it: the records of the dialling locations, calling cards and countries and
// the entry points that a telephony library (tapi32.so, beside the programs,
// when one is installed) exports. Texts inside the records are given by size
// and offset from the start of the record that holds them.

#include <cstdint>

namespace tapi {

using DWORD = uint32_t;
using LONG = int32_t;
using HLINEAPP = uint32_t;  // 0 = not initialised

// The version of the interface the dialer asks for.
constexpr DWORD kApiVersion = 0x10004;

struct LINETRANSLATECAPS {
    DWORD dwTotalSize;
    DWORD dwNeededSize;
    DWORD dwUsedSize;
    DWORD dwNumLocations;
    DWORD dwLocationListSize;
    DWORD dwLocationListOffset;
    DWORD dwCurrentLocationID;
    DWORD dwNumCards;
    DWORD dwCardListSize;
    DWORD dwCardListOffset;
    DWORD dwCurrentPreferredCardID;
};

struct LINELOCATIONENTRY {
    DWORD dwPermanentLocationID;
    DWORD dwLocationNameSize;
    DWORD dwLocationNameOffset;
    DWORD dwCountryCode;
    DWORD dwCityCodeSize;
    DWORD dwCityCodeOffset;
    DWORD dwPreferredCardID;
    DWORD dwLocalAccessCodeSize;
    DWORD dwLocalAccessCodeOffset;
    DWORD dwLongDistanceAccessCodeSize;
    DWORD dwLongDistanceAccessCodeOffset;
    DWORD dwTollPrefixListSize;
    DWORD dwTollPrefixListOffset;
    DWORD dwCountryID;
    DWORD dwOptions;
    DWORD dwCancelCallWaitingSize;
    DWORD dwCancelCallWaitingOffset;
};

struct LINECARDENTRY {
    DWORD dwPermanentCardID;
    DWORD dwCardNameSize;
    DWORD dwCardNameOffset;
    DWORD dwCardNumberDigits;
    DWORD dwSameAreaRuleSize;
    DWORD dwSameAreaRuleOffset;
    DWORD dwLongDistanceRuleSize;
    DWORD dwLongDistanceRuleOffset;
    DWORD dwInternationalRuleSize;
    DWORD dwInternationalRuleOffset;
    DWORD dwOptions;
};

struct LINECOUNTRYLIST {
    DWORD dwTotalSize;
    DWORD dwNeededSize;
    DWORD dwUsedSize;
    DWORD dwNumCountries;
    DWORD dwCountryListSize;
    DWORD dwCountryListOffset;
};

struct LINECOUNTRYENTRY {
    DWORD dwCountryID;
    DWORD dwCountryCode;
    DWORD dwNextCountryID;
    DWORD dwCountryNameSize;
    DWORD dwCountryNameOffset;
    DWORD dwSameAreaRuleSize;
    DWORD dwSameAreaRuleOffset;
    DWORD dwLongDistanceRuleSize;
    DWORD dwLongDistanceRuleOffset;
    DWORD dwInternationalRuleSize;
    DWORD dwInternationalRuleOffset;
};

static_assert(sizeof(LINETRANSLATECAPS) == 44);
static_assert(sizeof(LINELOCATIONENTRY) == 68);
static_assert(sizeof(LINECARDENTRY) == 44);
static_assert(sizeof(LINECOUNTRYENTRY) == 44);

// The line callback: (device, message, instance, three parameters).
using LINECALLBACK = void (*)(DWORD, DWORD, DWORD, DWORD, DWORD, DWORD);

using PlineInitialize = LONG (*)(HLINEAPP* lineApp, const void* instance, LINECALLBACK callback,
                                 const char* appName, DWORD* numDevices);
using PlineShutdown = LONG (*)(HLINEAPP lineApp);
using PlineGetTranslateCaps = LONG (*)(HLINEAPP lineApp, DWORD apiVersion, LINETRANSLATECAPS* caps);
using PlineGetCountry = LONG (*)(DWORD countryID, DWORD apiVersion, LINECOUNTRYLIST* list);

}  // namespace tapi
