<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_GB">
<context>
    <name>ClientRequestTHread</name>
    <message>
        <source>We have lost the back-server(MorvaneCore.exe)..</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Do you wanna re-start it ?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The reply from MorvaneCore timeout, MorvaneCore may lost..</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Yes,and remember my choice</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
