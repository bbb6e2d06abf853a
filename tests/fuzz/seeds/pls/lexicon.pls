<?xml version="1.0" encoding="UTF-8"?>
<lexicon version="1.0" xmlns="http://www.w3.org/2005/01/pronunciation-lexicon" alphabet="ipa" xml:lang="en-GB">
  <meta name="author" content="Vocatext"/>
  <lexeme role="noun">
    <grapheme>tomato</grapheme>
    <grapheme>tomatoes</grapheme>
    <phoneme>təˈmɑːtəʊ</phoneme>
    <phoneme alphabet="x-sampa">t@"mA:t@U</phoneme>
  </lexeme>
  <lexeme><grapheme>nginx</grapheme><alias>engine x</alias></lexeme>
  <lexeme><grapheme>New York</grapheme><alias>the Big Apple</alias></lexeme>
  <lexeme><grapheme>ping</grapheme><alias>pong</alias></lexeme>
  <lexeme><grapheme>pong</grapheme><alias>ping</alias></lexeme>
</lexicon>
