// sv.Utils: file-system helpers shared by the settings file and the pipeline.
// Pure functions on the calling thread.
#pragma once

class QString;

// Creates the folder with every missing parent. A path that the platform's rules
// refuse (see sv.PathRules.h) raises an Exception and creates nothing. Any other
// failure to create is not reported here: the file operations that later use the
// folder fail instead.
void ForceFolder(const QString &path);

// Deletes the files directly in the folder (the path ends with a separator). Never
// enters or deletes subfolders, never follows a link into another folder, and
// leaves a file alone while another writer holds its lock. Failures are ignored;
// a folder that does not exist is no error. One implementation per platform.
void DeleteFilesInFolder(const QString &folder);
