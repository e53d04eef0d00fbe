<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_GB">
<context>
    <name>MainMenu</name>
    <message>
        <source>File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open File...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open URL...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Torrent File...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Power-off</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Downloaded off</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Play shutdown</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel shutdown</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Setup</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>shutdown-completely</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Help</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Online Upgrade...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>About...</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>openurl</name>
    <message>
        <source>Open URL file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;body style=&quot;font-size:10pt; font-weight:600;&quot;&gt;&lt;p style=&quot;margin:0&quot;&gt;Enter Internet computer or network you want&lt;/p&gt;&lt;p style=&quot;margin:0&quot;&gt;to want to play on the multimedia documents&lt;/p&gt;&lt;p style=&quot;margin:0&quot;&gt;or url path can be a magnetic link form&lt;/p&gt;&lt;p style=&quot;margin:0&quot;&gt;electricity, etc.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>open：</source>
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
        <source>invalid address</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Please at least one input URL</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>WebSites</name>
    <message>
        <source>Link ignored: no tracker site is set (trackerSite in Morvane.ini).</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
