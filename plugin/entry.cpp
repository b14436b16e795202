// The bundle's entry point and the registration of its one visual plug-in.
#include "platform/export.h"
#include "plugin/host_glue.h"
#include "plugin/memory_routines.h"
#include "plugin/visual_plugin.h"

namespace {

// Display name, length-prefixed: 9, then the nine characters.
const unsigned char kPluginName[] = {9, 'Q', 'u', 'o', 'r', 'v', 'a', 'n', 't', 'a'};
const OSType kPluginCreator = QV_FOUR_CC('h', 'o', 'o', 'k');

} // namespace

OSStatus RegisterVisualPlugin(const PluginInitRecord *initRecord)
{
    HostCallRecord record;
    Str255 name = {0};
    BlockMoveData(kPluginName, name, sizeof kPluginName);

    // Cleared whole: the header is ITCallApplication's to stamp, but where
    // pointers are 8 bytes the payload starts at 16, and the 4 bytes of
    // padding before it would reach the host as whatever the stack held.
    MemClear(&record, static_cast<SInt32>(sizeof record));

    VisualRegistration &reg = record.u.registerVisualPluginMessage;
    BlockMoveData(name, reg.name, name[0] + 1);
    SetNumVersion(&reg.pluginVersion, 1, 0, finalStage, 0);
    reg.options = kVisualWantsIdleMessages;
    reg.handler = VisualPluginHandler;
    reg.registerRefCon = nullptr;
    reg.creator = kPluginCreator;
    reg.timeBetweenDataMs = kVisualNoDataInterval;
    reg.numWaveformChannels = 2;
    reg.numSpectrumChannels = 2;
    reg.minWidth = 0;
    reg.minHeight = 0;
    reg.maxWidth = kQVPortMaxSide;
    reg.maxHeight = kQVPortMaxSide;
    reg.minFullScreenBitDepth = 0;
    reg.maxFullScreenBitDepth = 0;
    reg.windowAlignmentInBytes = 0;

    return PlayerRegisterVisualPlugin(initRecord->hostCookie, initRecord->hostProc, &record);
}

QV_EXTERN_C QV_EXPORT OSStatus iTunesPluginMainMachO(OSType code, PluginInitRecord *record, void * /*refCon*/)
{
    try {
        switch (code) {
        case kPluginInitMessage:
            // A host that sends "init" without its record gets a parameter
            // error rather than a crash.
            if (record == nullptr || record->hostProc == nullptr)
                return paramErr;
            return RegisterVisualPlugin(record);
        case kPluginCleanupMessage:
            return noErr;
        default:
            return unimpErr;
        }
    } catch (...) {
        // Nothing of ours throws; a host callback written in C++ might.
        return paramErr;
    }
}
