#include "InProcessProgram.h"

#include "Registry.h"
#include "Wait.h"

namespace qxsupport {

HWND InProcessProgram::start(NotificationHandler* handler)
{
    clearSettings();
    store = std::make_unique<ParameterStore>();
    engine = std::make_unique<AudioEngine>();
    ui = std::make_unique<UiThread>(GetModuleHandleW(nullptr));
    engine->attachStore(store.get());  // defaults, settings, GDI objects
    ui->attachStore(store.get());
    ui->setNextHandler(handler);
    if (ui->start() != 0)
        return nullptr;
    waitFor([&] { return ui->mainWindowHandle() != nullptr; }, 5000);
    return ui->mainWindowHandle();
}

void InProcessProgram::finish()
{
    ui->waitFinished();
    ui->stop();
    engine->attachStore(nullptr);
    ui->attachStore(nullptr);
    ui->setNextHandler(nullptr);
    store->deleteGdiObjects();
    clearSettings();
}

}  // namespace qxsupport
