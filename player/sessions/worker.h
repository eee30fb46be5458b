#pragma once
// The plug-in's worker thread, in the multithreaded apartment, on which the media sessions'
// asynchronous operations are waited for: never on the messenger's thread.
#include "host/win32.h"

// What the worker does, given what to do; it leaves what it found in module-level state of its
// own module, since the job outlives a press that stopped waiting for it.
using WorkerJob = void (*)(int what);

// Runs the job on a worker thread started for it and waits for it at most the bound. False
// when the job did not run to its end within the bound: it took longer, or an earlier job
// still runs (this one then does not start), or no thread could be started, or the thread
// could not enter COM. The thread holds the library loaded until it leaves, so that a
// messenger that frees it meanwhile cannot unmap code the thread still runs.
bool runOnWorker(WorkerJob job, int what, DWORD boundMs);
// True once finalise has asked the worker to stop: its waits end at once.
bool workerStopping();
// Asks the worker to stop and waits at most the bound for its end: a call into another program
// may block for long, and the messenger's thread must not wait for it. A worker still inside
// such a call leaves on its own once the call returns, and the library with it.
void stopWorker(DWORD boundMs);
