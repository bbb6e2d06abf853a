#pragma once

class Form1;

/// Creates Form1's controls, once: the map of every control with its container,
/// caption, position (in twips), font, name and part in the pointer rules.
void BuildControlMap(Form1 &form);
