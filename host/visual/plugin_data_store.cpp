#include "host/visual/plugin_data_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "host/common/new_file.h"

namespace qvhost {
namespace {

bool MakeDirs(const std::string &path, std::string *error)
{
    std::string partial;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        partial = path.substr(0, pos);
        if (partial.empty())
            continue;
        if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
            *error = partial + ": " + std::strerror(errno);
            return false;
        }
    }
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        *error = path + ": not a directory";
        return false;
    }
    return true;
}

bool WriteAll(int fd, const void *data, size_t size)
{
    const char *p = static_cast<const char *>(data);
    while (size > 0) {
        ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

std::string PluginDataStore::DefaultRoot()
{
    const char *xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/')
        return std::string(xdg) + "/quorvanta";
    const char *home = std::getenv("HOME");
    if (home && home[0] == '/')
        return std::string(home) + "/.config/quorvanta";
    return std::string();
}

std::string PluginDataStore::EscapeName(const std::string &text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '_' || (c == '.' && i > 0);
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string PluginDataStore::PascalText(ConstStringPtr s, size_t capacity)
{
    if (!s)
        return std::string();
    return std::string(reinterpret_cast<const char *>(s + 1), std::min<size_t>(s[0], capacity));
}

PluginDataStore::PluginDataStore(std::string root, const std::string &plugin) : root_(std::move(root))
{
    if (!root_.empty())
        dir_ = root_ + "/" + (plugin.empty() ? std::string("%00") : EscapeName(plugin));
}

std::string PluginDataStore::pathOf(const std::string &name) const
{
    // Unnamed and named blocks cannot collide: escaped names never contain '@'.
    return dir_ + "/" + (name.empty() ? std::string("@data") : "named-" + EscapeName(name));
}

std::optional<std::vector<uint8_t>> PluginDataStore::load(const std::string &name) const
{
    if (!usable())
        return std::nullopt;
    // Without waiting (for a FIFO's writer) and never through a link.
    const FileDescriptor fd(open(pathOf(name).c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (!fd.valid() || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    std::vector<uint8_t> data;
    uint8_t buf[4096];
    ssize_t n;
    while ((n = read(fd.get(), buf, sizeof buf)) > 0 && data.size() <= kMaxBlockSize)
        data.insert(data.end(), buf, buf + n);
    if (n < 0 || data.size() > kMaxBlockSize)
        return std::nullopt;
    return data;
}

bool PluginDataStore::save(const std::string &name, const void *data, size_t size, std::string *error) const
{
    if (!usable()) {
        *error = "no configuration directory (neither XDG_CONFIG_HOME nor HOME is set)";
        return false;
    }
    if (!MakeDirs(dir_, error))
        return false;
    const std::string path = pathOf(name);
    std::string temp;
    FileDescriptor fd = CreateNewFile(path + ".tmp-", 0600, &temp);
    if (!fd.valid()) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    const bool ok = WriteAll(fd.get(), data, size) && fsync(fd.get()) == 0;
    const int savedErrno = errno;
    fd.reset();
    if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
        *error = path + ": " + std::strerror(ok ? errno : savedErrno);
        unlink(temp.c_str());
        return false;
    }
    return true;
}

} // namespace qvhost
