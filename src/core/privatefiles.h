#pragma once

// The client's folders and files readable by the operator alone: the
// customers' photo paths, the order records and the logs are nobody else's
// on a shared machine. On Linux and macOS; Windows keeps its per-user
// folders as they are.
class PrivateFiles final
{
public:
    PrivateFiles() = delete;

    // From now on the process creates folders 0700 and files 0600, and the
    // folders of AppPaths that exist already, with what is in them, are
    // tightened to that. Links are left alone, never followed.
    static void restrict();
};
