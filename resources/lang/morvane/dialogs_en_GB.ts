<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_GB">
<context>
    <name>Options</name>
    <message>
        <source>Options</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>General Settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Default save the path：</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Browse</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Backstage transmission port</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>（Extent：1-65535 Shall become effective after the restart the system）</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Language:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Simplified Chinese</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>English</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File Associations</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pure Ipv6</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PT Background</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Always play new file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Advanced Settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>set cache size:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>MB</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OK</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Bandwidth</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Download limit:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No limit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>KiB/s</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upload limit:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Maximum connections:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Default</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>0 = no limit; maximum connections 0 = default. Changes take effect at once.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>General setup</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Advanced setup</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The port must be a whole number from 1 to 65535.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Directory</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Wizard</name>
    <message>
        <source>Setup wizard</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Welcome,please set download directory!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Multimedia save the path:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Browse</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Network</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>must choose</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IPv4/IPv6</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IPv6 only</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File Associations</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>In order to achieve that point is put,
please choose the file associations!(Need Administrator Rights)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Next</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Directory</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>about</name>
    <message>
        <source>About Morvane</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>About</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Morvane version</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>compile time</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Thanks to the use of the software</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Website </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Forum</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
