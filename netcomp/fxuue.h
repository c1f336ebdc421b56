#pragma once
// TFxUUProcessor encodes the whole of an input stream into an output stream
// as base64 lines (uuMime, 60 characters a line) or as uuencoded lines
// (uuCode, a length character and 60 characters, closed by the zero-length
// line "`"), each line ended by CR LF, 45 input bytes a line. No "begin" or
// "end" line is written.

#include "platform/streams.h"

#include <array>
#include <functional>

enum UUMethods { uuMime, uuCode };

class TFxUUProcessor {
public:
    using TEncodeEvent = std::function<void(TFxUUProcessor* Sender)>;

    TFxUUProcessor() = default;

    // Encodes InputStream from its start to its end into OutputStream at its
    // position, then rewinds OutputStream. Stream errors go on to the caller;
    // OutputStream is rewound and OnEndEncode fires all the same. Raises
    // Exception when either stream is not set.
    void Encode();

    TStream* InputStream = nullptr;   // not owned
    TStream* OutputStream = nullptr;  // not owned
    UUMethods Method = uuMime;
    TEncodeEvent OnBeginEncode;
    TEncodeEvent OnEndEncode;  // also after a failure

protected:
    // Fills Alphabet with the table of Method.
    void SelectAlphabet();

private:
    std::array<char, 64> Alphabet{};
};
