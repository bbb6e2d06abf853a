#pragma once

class Form1;

/// Makes Form1 workable through a screen reader and the keyboard alone: accessible names
/// and descriptions, the Tab order, the shortcuts (each the accessible key binding of its
/// button), and names that follow the list, the sliders and the progress text. Nothing
/// here changes what the window shows. Called once, after the controls are connected.
void MakeAccessible(Form1 &form);
