<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_GB">
<context>
    <name>Http</name>
    <message>
        <source>Morvane Update</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Have the new version, is being downloaded 
upgrade file...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>HttpWindow</name>
    <message>
        <source>Prompt</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Morvane was installed by your system&apos;s package manager. Updates come from there: use your software centre or apt.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No update server is configured.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>HTTP</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot save the file %1: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Download failed: %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Redirect to the %1 ?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Your current version has set up a file is the latest, do not need to upgrade!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Morvane Program is running, please click confirm continue to update after exit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upgrade finished ！</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The download is larger than an upgrade can be. It has been deleted and was not started.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The upgrade file is not signed. It has been deleted and was not started.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The upgrade file&apos;s signature is not valid. It has been deleted and was not started.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
