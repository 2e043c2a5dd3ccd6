// sv.PathRules: the platform's rules for a folder path that is about to be created
// (one implementation per platform under platform/). Raises an Exception with the
// message of the broken rule: "Invalid characters in path", "The specified path is
// too long", and on Windows also "The drive cannot be found" and "The path format
// is not supported".
#pragma once

class QString;

void CheckFolderPath(const QString &path);
