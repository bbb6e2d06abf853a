#pragma once

struct Services;

/// Proves that the working folder can be written, read back and cleaned; shows one
/// message naming the folder when it cannot, and writes the real cause on the
/// diagnostics. Every step runs even after a failure.
bool CheckWorkingFolder(const Services &services);
