#pragma once
// Clock, process and folder facilities shared by the programs. Paths are
// UTF-8 strings with "/" separators.
#include <cstdint>
#include <initializer_list>
#include <string>

namespace corvane {

// Milliseconds of the monotonic clock modulo 2^32, as a signed value.
int32_t TickCount();
// Seconds since local midnight, with fractions.
double TimerSeconds();
int32_t ProcessId();

// The folder that holds the running executable, without a trailing slash.
std::string ApplicationFolder();
// The user's home folder + "/Corvane/": $HOME when it names a folder by an
// absolute path, else the home folder of the password database. Installed
// programs keep their files here, and the others when saving beside the
// program fails.
std::string FallbackRoot();

// The build writes this file beside the programs it makes, and installation
// never copies it: only programs run from the build folder keep their files
// beside themselves (a developer's build/bin/Keys/ and so on). An installed
// program never writes into its own folder, not even when root can.
inline constexpr const char* kBuildTreeMarker = "corvane-build-tree";
bool RunsFromBuildTree(const std::string& applicationFolder);

inline constexpr const char* kImagesFolder = "Images";
inline constexpr const char* kKeysFolder = "Keys";
inline constexpr const char* kEncryptedFolder = "Encrypted Images";

// root + "/" + name, with no doubled slash when root already ends in one.
std::string JoinPath(const std::string& root, const std::string& name);
// Creates the folder and every missing parent; true when it exists afterwards.
bool CreateFolders(const std::string& path, unsigned mode = 0777);
bool IsWritableFolder(const std::string& path);
bool FileExists(const std::string& path);

// The root that a program lists and saves under: the application folder when
// the programs run from their build folder and it can be written, else the
// fallback root (without its final slash).
std::string WorkingRoot(const std::string& applicationFolder);

// WorkingRoot, with the named working folders created below it when missing.
std::string PrepareWorkingRoot(const std::string& applicationFolder,
                               std::initializer_list<const char*> folders);

}  // namespace corvane
