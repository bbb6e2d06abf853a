#pragma once

class Form1;

/// The start-up sequence, before the window is first shown: skin and hand pointer, the
/// home page now and then, the sample snapshot, caption and title, the voice list, the
/// stored volume, rate, output folder and save option, the list's column and the working
/// folder's check. False when the program must end (no voices can be listed).
bool Form_Load(Form1 &form);
