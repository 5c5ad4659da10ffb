// The boundary between file names as the system stores them (bytes, usually UTF-8) and the
// CP932 text Tarn shows, matches and stores.
#pragma once

#include <string>
#include <string_view>

namespace tarn::search {

// CP932 form of a name or path read from the system, name by name: UTF-8 is converted ("?" for a
// character outside CP932); a name that is not UTF-8 is taken as CP932 bytes already.
std::string NativeToCp932(std::string_view native);

// How a name or path read from the system is shown (UTF-8), name by name: a UTF-8 name as it is,
// any other name read as CP932 (old archives unpacked with their names as they were).
std::string NativeToDisplay(std::string_view native);

// The system's path for one that is shown or typed (UTF-8), resolved name by name on disk: a name
// spelled as it is when that exists, else its CP932 bytes when a name so spelled exists. A name
// found in neither form stays as typed.
std::string DisplayToNative(std::string_view display);

// System form of a CP932 name or path: UTF-8 when every character converts, else the bytes
// unchanged (a name written on disk in CP932).
std::string Cp932ToNative(std::string_view cp932);

// True when Cp932ToNative(cp932) gives native back, so that the CP932 path alone is enough to
// open the file again.
bool NativeRecoverable(std::string_view cp932, std::string_view native);

// The character that NativeToCp932 would turn into "?" (the first one), or empty.
std::string_view NativeCharWithoutCp932(std::string_view native);

}  // namespace tarn::search
