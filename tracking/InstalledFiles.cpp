#include "tracking/InstalledFiles.h"

#include <filesystem>
#include <sstream>
#include <system_error>

namespace Leap {

namespace fs = std::filesystem;

std::string installedDataDir()
{
    std::error_code error;
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    if (error)
        return "";
    // PREFIX/bin/quorvel, or the player in PREFIX/libexec/quorvel (or in a libexec folder a
    // distribution places deeper).
    fs::path prefix = executable.parent_path();
    for (int level = 0; level < 3 && prefix.has_relative_path(); ++level) {
        prefix = prefix.parent_path();
        const fs::path data = prefix / "share" / "quorvel";
        if (fs::is_directory(data / "examples", error))
            return data.string();
    }
    return "";
}

std::string modelSetUpCommand()
{
    const std::string data = installedDataDir();
    return data.empty() ? "scripts/models.sh" : data + "/models.sh";
}

namespace {

bool onPath(const std::string& program, const std::string& searchPath)
{
    std::istringstream dirs(searchPath.empty() ? "/usr/bin:/bin" : searchPath);
    std::error_code error;
    for (std::string dir; std::getline(dirs, dir, ':');) {
        if (!dir.empty() && fs::exists(fs::path(dir) / program, error))
            return true;
    }
    return false;
}

// A module of Debian's Python: a package folder or an extension module (cv2 is either).
bool hasPythonModule(const std::string& module)
{
    const fs::path packages = "/usr/lib/python3/dist-packages";
    std::error_code error;
    if (fs::is_directory(packages / module, error))
        return true;
    for (fs::directory_iterator entry(packages, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string file = entry->path().filename().string();
        if (file.rfind(module + ".", 0) == 0 && entry->path().extension() == ".so")
            return true;
    }
    return false;
}

} // namespace

std::string missingSetUpPackages(const std::string& searchPath)
{
    // npm fetches the models; Python with these modules converts and checks them.
    std::string missing;
    auto need = [&missing](bool present, const char* package) {
        if (!present)
            missing += (missing.empty() ? "" : " ") + std::string(package);
    };
    need(onPath("npm", searchPath), "npm");
    need(fs::exists("/usr/bin/python3"), "python3");
    need(hasPythonModule("numpy"), "python3-numpy");
    need(hasPythonModule("onnx"), "python3-onnx");
    need(hasPythonModule("flatbuffers"), "python3-flatbuffers");
    need(hasPythonModule("cv2"), "python3-opencv");
    return missing;
}

std::string findPerformance(const std::string& name)
{
    std::error_code error;
    if (name.empty() || fs::exists(name, error))
        return name;
    // Only a bare name: a path that leads nowhere is the player's mistake to be told of.
    const std::string data = installedDataDir();
    if (data.empty() || name.find('/') != std::string::npos)
        return name;
    for (const std::string& candidate : {name, name + ".jsonl"}) {
        const fs::path example = fs::path(data) / "examples" / candidate;
        if (fs::is_regular_file(example, error))
            return example.string();
    }
    return name;
}

} // namespace Leap
