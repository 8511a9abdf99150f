// Where the pppd backend keeps its phonebook: a folder with one peer file per
// entry (pppd_peer_file.h has what is in them). The default folder is
// $XDG_DATA_HOME/vombel-connect/peers (else ~/.local/share/vombel-connect/peers);
// a phonebook path a caller gives is a folder. Folders the program makes are
// 0700, files 0600 (they name the user's device and number), and every write
// is a temporary file renamed over the old one, so a crash leaves the old or
// the new entry, never half of one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// The folder of `phonebook` (empty: the default one). Empty when there is no
// home folder to put the default in.
std::string PhonebookFolder(std::u16string_view phonebook);

// The file name of entry `entry`: the name in UTF-8. A name whose UTF-8 form
// is longer than a file name may be (255 bytes) keeps its first 238 bytes and
// gets "~" and 16 hexadecimal digits of a hash of the whole name.
// kErrorInvalidName for what cannot be an entry name (dial_up.h), and for
// text that is not well-formed UTF-16.
uint32_t EntryFileName(std::u16string_view entry, std::string& file_name);

// 0 when the folder has no such file, kErrorAlreadyExists when it has,
// kRasErrorCannotLoadPhonebook when the folder cannot be looked into.
uint32_t EntryFileExists(const std::string& folder, const std::string& file_name);

// The file's text. kRasErrorCannotFindPhonebookEntry when there is none,
// kRasErrorCannotLoadPhonebook when it cannot be read or is larger than any
// entry the program writes (kMaxEntryFileSize).
inline constexpr size_t kMaxEntryFileSize = 64 * 1024;
uint32_t ReadEntryFile(const std::string& folder, const std::string& file_name, std::string& text);

// Makes the folder (and the ones above it) when missing and replaces the
// file with `text`, atomically. kRasErrorCannotLoadPhonebook on failure.
uint32_t WriteEntryFile(const std::string& folder, const std::string& file_name, std::string_view text);

// kRasErrorCannotFindPhonebookEntry when there is no such file.
uint32_t DeleteEntryFile(const std::string& folder, const std::string& file_name);

// The path of the file (folder + "/" + file name).
std::string EntryFilePath(const std::string& folder, const std::string& file_name);

}  // namespace platform
