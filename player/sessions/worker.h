#pragma once
// The plug-in's worker thread, in the multithreaded apartment, on which the media sessions'
// asynchronous operations are waited for: never on the messenger's thread.
#include "host/win32.h"

// What the worker does, given what to do; it leaves what it found in module-level state of its
// own module, since the job outlives a press that stopped waiting for it.
using WorkerJob = void (*)(int what);

// Runs the job on a worker thread started for it and waits for it at most the bound. False
// when it did not end within the bound, or when an earlier job still runs (this one then does
// not start) or no thread could be started.
bool runOnWorker(WorkerJob job, int what, DWORD boundMs);
// True once finalise has asked the worker to stop: its waits end at once.
bool workerStopping();
// Asks the worker to stop and waits for its end, so that no code of the plug-in runs once
// finalise has returned.
void stopWorker();
