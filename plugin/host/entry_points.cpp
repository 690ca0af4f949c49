// The four entry points the host calls. Everything else of the library is hidden.
#include <cstdint>
#include <cstring>
#include <exception>
#include <new>

#include "host/decoder_instance.h"
#include "host/host_interface.h"
#include "host/instance_list.h"
#include "host/receiver.h"
#include "host/ui_thread.h"
#include "host/window_services.h"
#include "ui/oru_window.h"

#define SIRREL_EXPORT extern "C" __attribute__((visibility("default")))

using namespace sirrel;

namespace {

// The plug-in-wide state that outlives the instances. At unload, instances the host left open are closed
// without calling the host back (it has let go of the library): their settings are saved and their files
// and threads end before the code goes away.
class Plugin {
public:
    // The framework's lifelong objects come first, so that they are still there when the instances close at exit.
    Plugin() : services((PrepareFramework(), Services())), ui([] { return instance_list::Count() > 0; }) {}
    ~Plugin()
    {
        ui.Run([] {
            for (DecoderInstance *instance : instance_list::Snapshot()) {
                instance->DisableHostCalls();
                Destroy(instance);
            }
        });
    }

    // Destroys the instance unless that already happened; runs on the user-interface thread.
    static void Destroy(DecoderInstance *instance)
    {
        if (instance_list::Contains(instance))
            delete instance;
    }

    WindowServices &services;
    UiThread ui;
};

Plugin &ThePlugin()
{
    static Plugin plugin;
    return plugin;
}

int32_t StartOnUiThread(uint32_t hostId, const uint8_t *receiver, HostCallback callback, uint32_t *options,
                        WindowServices &services)
{
    constexpr int32_t kFailed = -1;
    const int32_t model = ModelCodeOf(receiver);
    const int32_t dspKind = model ? DspKindOf(receiver) : kDspNone;
    if (model == 0) {
        services.MessageBox(0, "KEL Fatal Error", "The plug-in can't be used with the current receiver!", kButtonOk);
        return kFailed;
    }
    if (dspKind == kDspNone && !IsQvModel(model) && services.WaveInDeviceCount() == 0) {
        services.MessageBox(0, "KEL Fatal Error", "There is no sound card installed in the system!", kButtonOk);
        return kFailed;
    }
    auto *instance = new (std::nothrow) DecoderInstance(hostId, receiver, callback, options, model, dspKind, services);
    if (!instance)
        return kFailed;
    if (!instance->Constructed() || !instance_list::Append(instance)) {
        delete instance;
        return kFailed;
    }
    // Runs from the window's own message: the instance, and its window, go once that message is done.
    instance->SetCloseHandler([instance] { ThePlugin().ui.Post([instance] { Plugin::Destroy(instance); }); });
    return int32_t(instance->Window());
}

} // namespace

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
    if (!receiverInfo)
        return -1;
    Plugin &plugin = ThePlugin();
    int32_t window = -1;
    plugin.ui.Run([&] {
        try {
            window =
                StartOnUiThread(hostId, static_cast<const uint8_t *>(receiverInfo), callback, options, plugin.services);
        } catch (const std::exception &) {
            window = -1;
        }
    });
    return window;
}

SIRREL_EXPORT void kelPluginNotify(uint32_t hostId, uint32_t code, uint32_t first, uint32_t second, void *data)
{
    DecoderInstance *instance = instance_list::Acquire(hostId);
    if (!instance)
        return;
    bool close = false;
    instance->Notify(hostId, code, first, second, data, close);
    instance_list::Release(instance);
    // Windows go on their own thread, and the instance with its window.
    if (close)
        ThePlugin().ui.Post([instance] { Plugin::Destroy(instance); });
}

SIRREL_EXPORT void kelPluginDone() {}
