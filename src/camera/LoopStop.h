// How code that is handed a sample asks the viewer's event loop to stop: the viewer passes
// its own, which asks the context to quit; a test passes one that only notes the request.
#pragma once

using LoopStop = void (*)();
