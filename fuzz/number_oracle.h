// The oracle of the product's number parser, simple_strtoul: where it must
// stop in a text, in every base the tool uses.
#ifndef IDSTAMP_FUZZ_NUMBER_ORACLE_H
#define IDSTAMP_FUZZ_NUMBER_ORACLE_H

#include <string>

namespace codec {

// Runs the text through the parser in bases 0, 10 and 16, from a copy of
// exactly its size, so a read past its end is caught: the end must stay
// inside the text, and only a character that is no digit of the base may
// stop it. Fails the run (codec::fail) when it does otherwise.
void check_number_text(const std::string &text);

} // namespace codec

#endif
