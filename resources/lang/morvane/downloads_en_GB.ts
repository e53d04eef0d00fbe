<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_GB">
<context>
    <name>InformationWidget</name>
    <message>
        <source>Seeds:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Peers:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Size:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tracker:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Process:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Uploaded:</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ListMenu</name>
    <message>
        <source>AddNew</source>
        <translation>Add torrent file...</translation>
    </message>
    <message>
        <source>AddMagnetLink</source>
        <translation>Add magnet link...</translation>
    </message>
    <message>
        <source>Totally_Delete</source>
        <translation>Delete with files</translation>
    </message>
    <message>
        <source>Remove_from_list</source>
        <translation>Remove from list</translation>
    </message>
    <message>
        <source>ShowInfo</source>
        <translation>Show information</translation>
    </message>
    <message>
        <source>JumpToDestFolder</source>
        <translation>Open download folder</translation>
    </message>
    <message>
        <source>Start</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pause</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>TEST</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TreeModel</name>
    <message>
        <source>Warning!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The downloading, you chose to delete or remove, is still checking, please do later..</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Name</source>
        <comment>i.e: torrent name</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Done</source>
        <comment>i.e: download progress&amp;speed</comment>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
