// The boundary between file names as the system stores them (bytes, usually UTF-8) and the
// CP932 text Tarn shows, matches and stores.
#pragma once

#include <string>
#include <string_view>

namespace tarn::search {

// CP932 form of a name or path read from the system: UTF-8 is converted ("?" for a character
// outside CP932); anything that is not UTF-8 is taken as CP932 bytes already.
std::string NativeToCp932(std::string_view native);

// System form of a CP932 name or path: UTF-8 when every character converts, else the bytes
// unchanged (a name written on disk in CP932).
std::string Cp932ToNative(std::string_view cp932);

// True when Cp932ToNative(cp932) gives native back, so that the CP932 path alone is enough to
// open the file again.
bool NativeRecoverable(std::string_view cp932, std::string_view native);

// The character that NativeToCp932 would turn into "?" (the first one), or empty.
std::string_view NativeCharWithoutCp932(std::string_view native);

}  // namespace tarn::search
