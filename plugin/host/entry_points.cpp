// The four entry points the host calls. Everything else of the library is hidden.
#include <cstdint>
#include <cstring>
#include <new>

#include "host/decoder_instance.h"
#include "host/host_interface.h"
#include "host/instance_list.h"
#include "host/receiver.h"
#include "host/window_services.h"

#define SIRREL_EXPORT extern "C" __attribute__((visibility("default")))

using namespace sirrel;

SIRREL_EXPORT uint32_t kelPluginInit(int32_t hostVersion, uint32_t, char *name, uint32_t nameSize)
{
    if (hostVersion < kLowestHostVersion)
        return 0;
    if (name)
        std::strncpy(name, kDisplayName, nameSize);
    return kInterfaceVersion;
}

SIRREL_EXPORT int32_t kelPluginStart(uint32_t hostId, const void *receiverInfo, HostCallback callback,
                                     uint32_t *options)
{
    constexpr int32_t kFailed = -1;
    if (!receiverInfo)
        return kFailed;
    const auto *receiver = static_cast<const uint8_t *>(receiverInfo);
    WindowServices &services = Services();
    const int32_t model = ModelCodeOf(receiver);
    const int32_t dspKind = model ? DspKindOf(receiver) : kDspNone;
    if (model == 0) {
        services.MessageBox(0, "KEL Fatal Error", "The plug-in can't be used with the current receiver!",
                            kButtonOk);
        return kFailed;
    }
    if (dspKind == kDspNone && !IsQvModel(model) && services.WaveInDeviceCount() == 0) {
        services.MessageBox(0, "KEL Fatal Error", "There is no sound card installed in the system!", kButtonOk);
        return kFailed;
    }
    auto *instance =
        new (std::nothrow) DecoderInstance(hostId, receiver, callback, options, model, dspKind, services);
    if (!instance)
        return kFailed;
    if (!instance->Constructed() || !instance_list::Append(instance)) {
        delete instance;
        return kFailed;
    }
    return int32_t(instance->Window());
}

SIRREL_EXPORT void kelPluginNotify(uint32_t hostId, uint32_t code, uint32_t first, uint32_t second, void *data)
{
    for (int32_t i = 0; i < instance_list::Count(); ++i) {
        DecoderInstance *instance = instance_list::At(i);
        bool close = false;
        if (!instance->Notify(hostId, code, first, second, data, close))
            continue;
        // The window goes at once, and the instance with it.
        if (close)
            delete instance;
        return;
    }
}

SIRREL_EXPORT void kelPluginDone() {}
