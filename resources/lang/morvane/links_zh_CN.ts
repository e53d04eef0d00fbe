<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>MainMenu</name>
    <message>
        <source>File</source>
        <translation>文件</translation>
    </message>
    <message>
        <source>Open File...</source>
        <translation>打开文件...</translation>
    </message>
    <message>
        <source>Open URL...</source>
        <translation>打开网址...</translation>
    </message>
    <message>
        <source>Open Torrent File...</source>
        <translation>打开种子文件...</translation>
    </message>
    <message>
        <source>Power-off</source>
        <translation>关机</translation>
    </message>
    <message>
        <source>Downloaded off</source>
        <translation>下载完成后关机</translation>
    </message>
    <message>
        <source>Play shutdown</source>
        <translation>播放完成后关机</translation>
    </message>
    <message>
        <source>Cancel shutdown</source>
        <translation>取消关机</translation>
    </message>
    <message>
        <source>Setup</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>shutdown-completely</source>
        <translation>完全退出</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>帮助</translation>
    </message>
    <message>
        <source>Online Upgrade...</source>
        <translation>在线升级...</translation>
    </message>
    <message>
        <source>About...</source>
        <translation>关于...</translation>
    </message>
</context>
<context>
    <name>openurl</name>
    <message>
        <source>Open URL file</source>
        <translation>打开网址文件</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;body style=&quot;font-size:10pt; font-weight:600;&quot;&gt;&lt;p style=&quot;margin:0&quot;&gt;Enter Internet computer or network you want&lt;/p&gt;&lt;p style=&quot;margin:0&quot;&gt;to want to play on the multimedia documents&lt;/p&gt;&lt;p style=&quot;margin:0&quot;&gt;or url path can be a magnetic link form&lt;/p&gt;&lt;p style=&quot;margin:0&quot;&gt;electricity, etc.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;body style=&quot;font-size:10pt; font-weight:600;&quot;&gt;&lt;p style=&quot;margin:0&quot;&gt;输入您想要播放的&lt;/p&gt;&lt;p style=&quot;margin:0&quot;&gt;互联网或局域网上的多媒体文件地址&lt;/p&gt;&lt;p style=&quot;margin:0&quot;&gt;地址可以是磁力链接&lt;/p&gt;&lt;p style=&quot;margin:0&quot;&gt;等形式。&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>open：</source>
        <translation>打开：</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>invalid address</source>
        <translation>无效地址</translation>
    </message>
    <message>
        <source>Please at least one input URL</source>
        <translation>请至少输入一个网址</translation>
    </message>
</context>
<context>
    <name>WebSites</name>
    <message>
        <source>Link ignored: no tracker site is set (trackerSite in Morvane.ini).</source>
        <translation>链接已忽略：未设置种子站点（Morvane.ini 中的 trackerSite）。</translation>
    </message>
</context>
</TS>
