// Plug-in data kept for the host services "gprf"/"sprf" (one unnamed block)
// and "gnpr"/"snpr" (named blocks): one directory per plug-in under
// $XDG_CONFIG_HOME/quorvanta/ (or ~/.config/quorvanta/), one file per block.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/mac_types.h"

namespace qvhost {

class PluginDataStore {
public:
    // The largest block a plug-in may store (the services are meant for
    // preferences, not media).
    static constexpr size_t kMaxBlockSize = 1 << 20;

    // $XDG_CONFIG_HOME/quorvanta, else $HOME/.config/quorvanta; empty when
    // neither variable is set to an absolute path.
    static std::string DefaultRoot();
    // A file-name-safe form of `text`: letters, digits, '-', '_' and '.' kept
    // (a leading '.' escaped), every other byte as %XX. Distinct texts give
    // distinct names.
    static std::string EscapeName(const std::string &text);
    // The text of a length-prefixed string (null gives ""), read within its
    // field: at most `capacity` characters, whatever its length byte says.
    static std::string PascalText(ConstStringPtr s, size_t capacity = 255);

    // `root` as from DefaultRoot(); `plugin` names the plug-in (escaped here).
    PluginDataStore(std::string root, const std::string &plugin);

    // False when no directory could be determined (no home).
    bool usable() const { return !root_.empty(); }

    // `name` empty: the unnamed block. Nothing stored (or anything but a
    // regular file there) gives nullopt.
    std::optional<std::vector<uint8_t>> load(const std::string &name) const;
    // Writes the block atomically (a new temporary file of a unique name,
    // synced, then renamed), creating the directories. Returns false on
    // failure, with the reason in *error.
    bool save(const std::string &name, const void *data, size_t size, std::string *error) const;
    // The file that holds a block.
    std::string pathOf(const std::string &name) const;

private:
    std::string root_;
    std::string dir_;
};

} // namespace qvhost
