#include "host/visual/host_services.h"

#include <cstddef>
#include <cstring>

#include "host/common/messages.h"

namespace qvhost {
namespace {

// The record must carry the header ITCallApplication stamps and be large
// enough for the payload the service reads.
bool RecordUsable(const HostCallRecord *record, size_t payloadEnd)
{
    return record && record->majorVersion == kHostCallRecordMajorVersion && record->recordSize >= payloadEnd;
}

template <typename Message> constexpr size_t PayloadEnd()
{
    return offsetof(HostCallRecord, u) + sizeof(Message);
}

} // namespace

HostServices::HostServices(std::string configRoot) : configRoot_(std::move(configRoot)) {}

OSStatus HostServices::Proc(void *cookie, OSType code, HostCallRecord *record)
{
    if (!cookie)
        return paramErr;
    try {
        return static_cast<HostServices *>(cookie)->handle(code, record);
    } catch (...) {
        // Nothing may unwind into the bundle's C frames.
        return paramErr;
    }
}

std::string HostServices::pluginName() const
{
    return registration_ ? PluginDataStore::PascalText(registration_->name, sizeof registration_->name - 1)
                         : std::string();
}

OSStatus HostServices::handle(OSType code, HostCallRecord *record)
{
    switch (code) {
    case kPlayerRegisterVisualPluginMessage:
        return registerVisual(record);
    case kPlayerSetFullScreenOptionsMessage:
        return setFullScreenOptions(record);
    case kPlayerSetFullScreenMessage:
        return setFullScreen(record);
    case kPlayerGetPluginDataMessage: {
        if (!RecordUsable(record, PayloadEnd<GetPluginDataMessage>()))
            return paramErr;
        GetPluginDataMessage &m = record->u.getPluginDataMessage;
        return getData(std::string(), m.dataPtr, m.dataBufferSize, &m.dataSize);
    }
    case kPlayerSetPluginDataMessage: {
        if (!RecordUsable(record, PayloadEnd<SetPluginDataMessage>()))
            return paramErr;
        const SetPluginDataMessage &m = record->u.setPluginDataMessage;
        return setData(std::string(), m.dataPtr, m.dataSize);
    }
    case kPlayerGetPluginNamedDataMessage: {
        if (!RecordUsable(record, PayloadEnd<GetPluginNamedDataMessage>()))
            return paramErr;
        GetPluginNamedDataMessage &m = record->u.getPluginNamedDataMessage;
        if (!m.dataName || m.dataName[0] == 0)
            return paramErr;
        return getData(PluginDataStore::PascalText(m.dataName), m.dataPtr, m.dataBufferSize, &m.dataSize);
    }
    case kPlayerSetPluginNamedDataMessage: {
        if (!RecordUsable(record, PayloadEnd<SetPluginNamedDataMessage>()))
            return paramErr;
        const SetPluginNamedDataMessage &m = record->u.setPluginNamedDataMessage;
        if (!m.dataName || m.dataName[0] == 0)
            return paramErr;
        return setData(PluginDataStore::PascalText(m.dataName), m.dataPtr, m.dataSize);
    }
    case kPlayerIdleMessage:
        // The host's own work runs between messages; nothing is owed here.
        return noErr;
    case kPlayerShowAboutMessage:
        Note(std::string("version " QV_VERSION ", a host for visual plug-ins, showing \"") + pluginName() + "\"");
        return noErr;
    case kPlayerOpenURLMessage:
        return openUrl(record);
    case kPlayerUnregisterPluginMessage:
        if (!RecordUsable(record, offsetof(HostCallRecord, u)) || !registration_)
            return paramErr;
        unregistered_ = true;
        return noErr;
    case kPlayerHandleMacOSEventMessage:
        return handleEvent(record);
    case kPlayerRegisterDevicePluginMessage: // no device plug-ins on this host
    case kPlayerSetDeviceSerialNumberMessage:
    case kPlayerGetPluginFileSpecMessage: // no file specification records here
    default:
        return unimpErr;
    }
}

OSStatus HostServices::registerVisual(HostCallRecord *record)
{
    if (!RecordUsable(record, PayloadEnd<VisualRegistration>()))
        return paramErr;
    const VisualRegistration &reg = record->u.registerVisualPluginMessage;
    if (!reg.handler)
        return paramErr;
    if (registration_)
        return unimpErr; // one visual plug-in per bundle
    registration_ = reg;
    store_ = std::make_unique<PluginDataStore>(configRoot_, pluginName());
    return noErr;
}

OSStatus HostServices::setFullScreenOptions(HostCallRecord *record)
{
    if (!RecordUsable(record, PayloadEnd<SetFullScreenOptionsMessage>()))
        return paramErr;
    const SetFullScreenOptionsMessage &m = record->u.setFullScreenOptionsMessage;
    if (m.desiredWidth <= 0 || m.desiredHeight <= 0 || m.minBitDepth > m.maxBitDepth)
        return paramErr;
    fullScreen_ = FullScreenOptions{m.minBitDepth, m.maxBitDepth, m.preferredBitDepth, m.desiredWidth, m.desiredHeight};
    return noErr;
}

OSStatus HostServices::setFullScreen(HostCallRecord *record)
{
    if (!RecordUsable(record, PayloadEnd<SetFullScreenMessage>()))
        return paramErr;
    if (!hooks_.setFullScreen)
        return unimpErr;
    return hooks_.setFullScreen(record->u.setFullScreenMessage.fullScreen != 0);
}

OSStatus HostServices::getData(const std::string &name, void *buffer, UInt32 bufferSize, UInt32 *size)
{
    *size = 0;
    if (!store_)
        return unimpErr;
    if (!buffer && bufferSize > 0)
        return paramErr;
    std::optional<std::vector<uint8_t>> data = store_->load(name);
    if (!data)
        return kFileNotFoundErr;
    // The full size is reported so that a caller with a short buffer knows.
    *size = static_cast<UInt32>(data->size());
    const size_t n = std::min<size_t>(bufferSize, data->size());
    if (n > 0)
        std::memcpy(buffer, data->data(), n);
    return noErr;
}

OSStatus HostServices::setData(const std::string &name, const void *data, UInt32 size)
{
    if (!store_)
        return unimpErr;
    if ((!data && size > 0) || size > PluginDataStore::kMaxBlockSize)
        return paramErr;
    std::string error;
    if (!store_->save(name, data, size, &error)) {
        Warn("cannot keep plug-in data: " + error);
        return kIoErr;
    }
    return noErr;
}

OSStatus HostServices::openUrl(HostCallRecord *record)
{
    if (!RecordUsable(record, PayloadEnd<OpenURLMessage>()))
        return paramErr;
    const OpenURLMessage &m = record->u.openURLMessage;
    if (!m.url || m.length == 0 || m.length > 4096)
        return paramErr;
    const std::string url(m.url, m.length);
    if (hooks_.openUrl)
        hooks_.openUrl(url);
    else
        Note("the plug-in asks to open " + url);
    return noErr;
}

OSStatus HostServices::handleEvent(HostCallRecord *record)
{
    if (!RecordUsable(record, PayloadEnd<HandleMacOSEventMessage>()))
        return paramErr;
    HandleMacOSEventMessage &m = record->u.handleMacOSEventMessage;
    if (!m.theEvent)
        return paramErr;
    m.handled = hooks_.handleEvent && hooks_.handleEvent(*m.theEvent) ? 1 : 0;
    return noErr;
}

} // namespace qvhost
