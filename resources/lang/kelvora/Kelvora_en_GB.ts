<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_GB">
<context>
    <name>regedit</name>
    <message>
        <source>File Associations</source>
        <translation>File Associations</translation>
    </message>
    <message>
        <source>Local video files</source>
        <translation>Local video files</translation>
    </message>
    <message>
        <source>Streaming media </source>
        <translation>Streaming media </translation>
    </message>
    <message>
        <source>.torrent</source>
        <translation>.torrent</translation>
    </message>
    <message>
        <source>Mangnet Link</source>
        <translation>Mangnet Link</translation>
    </message>
    <message>
        <source>Morvane</source>
        <translation>Morvane</translation>
    </message>
    <message>
        <source>Used for on demand!
Suggest binding this type!</source>
        <translation>Used for on demand!
Suggest binding this type!</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
</TS>
