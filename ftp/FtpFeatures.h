// What the features a server named in its FEAT reply mean for the requests a session
// makes: machine listings, UTF-8 names and the MLST facts worth asking for.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ftp/FtpTypes.h"

namespace tarnwick::ftp {

// Whether a feature line's first word is `name` (case ignored).
bool FeatureNamed(std::string_view line, std::string_view name);

// The server lists directories with MLSD: it names MLST (or MLSD).
bool OffersMachineListing(const std::vector<std::string>& features);

// The facts of the server's MLST line that listings read ("type;size;modify;perm;unix.mode;"
// as far as offered), when one of them is offered but not shown by default (not starred);
// empty when nothing needs asking for.
std::string MlstFactsWanted(const std::vector<std::string>& features);

// The steps a session takes after its login, before it enters its first directory: FEAT,
// then OPTS UTF8 ON when the server offers UTF8, then OPTS MLST when MlstFactsWanted names
// facts. Given the request that has just ended (ConnectAsync for the first), the next one;
// none when the steps are done. A step that failed is passed over like one that succeeded.
TFtpRequest NextLoginStep(TFtpRequest done, const std::vector<std::string>& features);

}  // namespace tarnwick::ftp
