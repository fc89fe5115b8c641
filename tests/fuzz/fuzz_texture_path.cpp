// libFuzzer target: the mapping from a material's texture path to our file.
//
// Any bytes are a path (embedded zeros included). The name must be "tex/"
// followed by exactly the text after the path's last backslash (the whole
// path when it has none): no backslash survives, nothing is added or lost.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "import/texture_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path(reinterpret_cast<const char*>(data), size);
    const std::string name = textureFileName(path);

    const std::size_t slash = path.find_last_of('\\');
    const std::string expected = "tex/" + (slash == std::string::npos ? path : path.substr(slash + 1));
    if (name != expected || name.compare(0, 4, "tex/") != 0 || name.find('\\') != std::string::npos) {
        std::fprintf(stderr, "texture path: \"%s\" became \"%s\"\n", path.c_str(), name.c_str());
        std::abort();
    }
    return 0;
}
