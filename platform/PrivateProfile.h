#pragma once

#include <cstddef>
#include <string>

// What a configuration file offers the reader. A path that is no regular
// file (a FIFO, a directory, a device) counts as missing: it is never read,
// so it can neither block the reader nor feed it without end. A file larger
// than kProfileFileLimit is too large to be a configuration and is not read
// either.
enum class ProfileFile { Readable, Missing, TooLarge };
constexpr size_t kProfileFileLimit = size_t{1} << 20;
ProfileFile CheckProfileFile(const std::string& fileName);

// The private-profile reader: looks up one value of an INI-format file.
//
// A line "[name]" opens a section; a line "key=value" gives a value. Section
// and key names match without regard to letter case, with blanks around
// them ignored. The value loses its surrounding blanks and, when it is
// wrapped in a matching pair of double or single quotes, the quotes. Lines
// starting with ';' or '#' are comments. When a section or a key appears
// more than once, the first one counts. The file is read as 8-bit text;
// a file that CheckProfileFile does not find readable has no values.
//
// Copies at most `size` - 1 characters of the value (or of `defaultValue`
// when the file, the section or the key is missing) into `buffer`, ends it
// with a NUL and returns the number of characters copied.
size_t GetPrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& defaultValue, char* buffer, size_t size,
                               const std::string& fileName);
