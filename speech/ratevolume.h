#pragma once

#include <QString>

class IMainWindow;
class Speak;
struct Services;
struct SpeechOutcome;
struct WindowState;

// The speech settings' controls as their handlers need them.

// A slider: its position, a setting from code, the repeat of a press on its groove.
class ISliderControl
{
public:
    virtual ~ISliderControl() = default;
    virtual int Value() const = 0;
    /// Sets the position from code, which is not a move of its own (no handler runs); a
    /// value outside the range is the "Invalid property value" error.
    virtual void SetValueQuietly(double value) = 0;
    /// Ends the page-step repeat of a press held on the groove, as if the button had been
    /// let go; a box that takes the release would otherwise open again and again.
    virtual void StopRepeat() = 0;
};

// A label whose caption a handler sets.
class ICaption
{
public:
    virtual ~ICaption() = default;
    virtual void SetCaption(const QString &caption) = 0;
};

/// The volume slider moved: refused while the window is busy (the slider goes back to the
/// stored "Volume Level"), otherwise shown in lblVolume and stored.
void Slider1_Change(const Services &services, const WindowState &state, ISliderControl &slider1, ICaption &lblVolume);
/// The rate slider moved: as the volume slider, with "Speech Rate" (a missing one sets it back to 0).
void Slider2_Change(const Services &services, const WindowState &state, ISliderControl &slider2, ICaption &lblSpeed);
/// A voice chosen in the list: its index is stored ("Combo"); never refused.
void Combo1_Click(const Services &services, int selectedIndex);
/// "Test Speed": speaks "This is a test" with the chosen voice, rate and volume.
void PushButton14_Click(const Services &services, IMainWindow &window, Speak &speak);
/// Speech that failed because the chosen voice cannot be loaded shows its box ("Class not
/// registered", then the advice to choose another voice); other failures show nothing here.
void ShowVoiceFailure(const Services &services, const SpeechOutcome &outcome);
/// "?": why not to work with other programs during a conversion.
void PushButton9_Click(const Services &services);
