#pragma once

class IEventLoop;
class IMessageBoxes;

/// Proves that the working folder can be written, read back and cleaned; shows one
/// message naming the folder when it cannot. Every step runs even after a failure.
bool CheckWorkingFolder(IMessageBoxes &boxes, IEventLoop &events);
