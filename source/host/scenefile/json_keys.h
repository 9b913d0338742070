// Repeated keys in JSON text. JSON leaves them to the reader; taking the
// last would silently drop a value the user wrote, so the scene reader
// refuses them. The check is a pass of its own over the text, building no
// tree: the parser's hook for such checks rescans the enclosing array at the
// end of every object, which made a scene of 100,000 objects take seconds
// per ten thousand.
#pragma once

#include <string>
#include <string_view>

namespace kurvo::scenefile {

// The first key that appears twice in one object of `text`, or "" (also when
// the text is not well-formed JSON: the parser reports that itself).
std::string firstRepeatedKey(std::string_view text);

}  // namespace kurvo::scenefile
