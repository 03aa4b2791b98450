#pragma once

class QThread;

// The engine's thread: one for the process, started by start-up and stopped by the controller.
extern QThread workerThread;

// Asks the engine's loop to end after its current pass, ends the thread's event loop and waits for
// it without a deadline. Returns at once when the thread is not running.
void stopWorkerThread();
