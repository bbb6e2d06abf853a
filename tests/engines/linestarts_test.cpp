#include "engines/linestarts.h"

#include <gtest/gtest.h>

#include <vector>

TEST(LineStartTracker, ALineBeginsAtItsFirstSoundAfterTheEngineReachesIt)
{
    // Four lines; the third has nothing to say, the fourth is never reached.
    const QByteArray text = "one\ntwo\n  \nfour\n";
    LineStartTracker lines(text, 1.0, 1000); // two seconds are 2000 samples
    std::vector<qint16> speech(4000, 0);
    for (int i = 100; i < 300; ++i)
        speech[i] = 5000; // "one": a closure, then sound from 100
    for (int i = 900; i < 1000; ++i)
        speech[i] = 150; // below 0.5 % of full scale: still silence
    for (int i = 3000; i < 3100; ++i)
        speech[i] = 9000; // beyond two seconds after "two" is reached
    lines.Reached(0, 40);
    lines.Reached(2, 60); // within the first line
    lines.Heard(speech.data(), 500);
    lines.Reached(4, 600); // "two" is reached, and no sound follows in time
    lines.Heard(speech.data() + 500, 3500);
    EXPECT_EQ(lines.Starts(), (QList<qint64>{100, 600, 4000, 4000}));

    // A line reached before the last one found its sound begins where it was reached;
    // the lines it passed over begin with the next.
    LineStartTracker passed(text, 1.0, 1000);
    std::vector<qint16> loud(100, 9000);
    std::vector<qint16> quiet(100, 0);
    passed.Reached(0, 10);
    passed.Heard(quiet.data(), 50);
    passed.Reached(11, 50); // "four", lines two and three said nothing
    passed.Heard(loud.data(), 100);
    EXPECT_EQ(passed.Starts(2.0), (QList<qint64>{20, 100, 100, 100}));

    // Sound is what is heard: a quiet voice raised by its level counts fainter samples (never
    // Flite's pause noise), a loud one lowered only louder; unheard, a line begins where reached.
    for (const auto &[level, start] : {std::pair{2.0, 300}, std::pair{0.5, 40}, std::pair{10.0, 40}}) {
        LineStartTracker soft("x", level, 1000);
        soft.Reached(0, 40);
        std::vector<qint16> faint(2000, 0);
        for (int i = 300; i < 2000; ++i)
            faint[i] = level > 5 ? 60 : 200;
        soft.Heard(faint.data(), 2000);
        EXPECT_EQ(soft.Starts(), QList<qint64>{start}) << level;
    }
}
