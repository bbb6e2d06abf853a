#pragma once

#include <QString>

struct Services;

// The voice list as the voice catalogue fills it.
class IVoiceList
{
public:
    virtual ~IVoiceList() = default;
    virtual void Clear() = 0;
    /// Adds a voice's description as the last item; nothing becomes selected.
    virtual void AddItem(const QString &text) = 0;
    virtual int Count() const = 0;
    /// Selects an item (-1: none); counts as a selection, so the list's handlers run.
    virtual void SetListIndex(int index) = 0;
};

/// The address of a web search for text-to-speech voices.
QString VoiceSearchAddress();

/// Fills the list with the installed voices in the engine's order and selects the saved
/// one ("Combo"). Every step runs; when any failed, the "No voices found" box is shown
/// and the answer is false.
bool FillVoiceList(const Services &services, IVoiceList &list);

/// "Refresh List".
void PushButton8_Click(const Services &services, IVoiceList &list);

/// "Add Voices".
void PushButton6_Click(const Services &services);
