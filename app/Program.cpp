#include "app/Program.h"

#include "app/ParameterStore.h"
#include "app/UiThread.h"
#include "audio/AudioEngine.h"

int runProgram(ParameterStore* store, UiThread* ui, AudioEngine* engine)
{
    engine->attachStore(store);
    ui->attachStore(store);
    engine->attachUi(ui);

    engine->run();
    // A thread that outlived its limit may use any of the three.
    if (engine->abandonedThreads() || ui->abandonedThread())
        return 0;

    engine->attachStore(nullptr);
    ui->attachStore(nullptr);
    engine->attachUi(nullptr);
    store->deleteGdiObjects();

    delete store;
    delete ui;
    delete engine;
    return 0;
}
