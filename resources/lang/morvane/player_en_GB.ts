<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_GB">
<context>
    <name>player</name>
    <message>
        <source>Morvane</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Feedback</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Menu</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Minimise</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Full screen</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Back</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Forward</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Comments</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stop</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Previous</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Play</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Next</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Mute</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Snapshot</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Downloads list</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>subtitle download</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>data caching..</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>finsh..</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>function development..</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Format does not support..</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not add %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Subtitle download needs %1, which is not installed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no peers</source>
        <translation>no peers</translation>
    </message>
    <message>
        <source>disk full</source>
        <translation>disk full</translation>
    </message>
    <message>
        <source>permission denied</source>
        <translation>permission denied</translation>
    </message>
</context>
</TS>
