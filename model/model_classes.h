// The model's persistent classes, entered into the process-wide class
// registry by name.
#pragma once

// Registers every persistent class of the model (drawing objects, pages,
// colours). Programs and test mains call it before reading a document: the
// model is a static library, so a class registered by its own object file
// would be dropped by the linker from a program that never names it.
// Calling it again does nothing.
void RegisterModelClasses();
