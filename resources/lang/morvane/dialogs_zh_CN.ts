<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>Options</name>
    <message>
        <source>Options</source>
        <translation>选项</translation>
    </message>
    <message>
        <source>General Settings</source>
        <translation>常规设置</translation>
    </message>
    <message>
        <source>Default save the path：</source>
        <translation>默认保存路径：</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>浏览</translation>
    </message>
    <message>
        <source>Backstage transmission port</source>
        <translation>后台传输端口</translation>
    </message>
    <message>
        <source>（Extent：1-65535 Shall become effective after the restart the system）</source>
        <translation>（范围：1-65535，重新启动系统后生效）</translation>
    </message>
    <message>
        <source>Language:</source>
        <translation>语言：</translation>
    </message>
    <message>
        <source>Simplified Chinese</source>
        <translation>简体中文</translation>
    </message>
    <message>
        <source>English</source>
        <translation>英语</translation>
    </message>
    <message>
        <source>File Associations</source>
        <translation>文件关联</translation>
    </message>
    <message>
        <source>Pure Ipv6</source>
        <translation>纯 IPv6</translation>
    </message>
    <message>
        <source>PT Background</source>
        <translation>PT 后台运行</translation>
    </message>
    <message>
        <source>Always play new file</source>
        <translation>总是播放新文件</translation>
    </message>
    <message>
        <source>Advanced Settings</source>
        <translation>高级设置</translation>
    </message>
    <message>
        <source>set cache size:</source>
        <translation>设置缓存大小：</translation>
    </message>
    <message>
        <source>MB</source>
        <translation>MB</translation>
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
        <source>Bandwidth</source>
        <translation>带宽</translation>
    </message>
    <message>
        <source>Download limit:</source>
        <translation>下载限速：</translation>
    </message>
    <message>
        <source>No limit</source>
        <translation>不限</translation>
    </message>
    <message>
        <source>KiB/s</source>
        <translation>KiB/s</translation>
    </message>
    <message>
        <source>Upload limit:</source>
        <translation>上传限速：</translation>
    </message>
    <message>
        <source>Maximum connections:</source>
        <translation>最大连接数：</translation>
    </message>
    <message>
        <source>Default</source>
        <translation>默认</translation>
    </message>
    <message>
        <source>0 = no limit; maximum connections 0 = default. Changes take effect at once.</source>
        <translation>0 表示不限；最大连接数为 0 表示默认值。更改立即生效。</translation>
    </message>
    <message>
        <source>General setup</source>
        <translation>常规设置</translation>
    </message>
    <message>
        <source>Advanced setup</source>
        <translation>高级设置</translation>
    </message>
    <message>
        <source>The port must be a whole number from 1 to 65535.</source>
        <translation>端口必须是 1 到 65535 之间的整数。</translation>
    </message>
    <message>
        <source>Open Directory</source>
        <translation>打开目录</translation>
    </message>
</context>
<context>
    <name>Wizard</name>
    <message>
        <source>Setup wizard</source>
        <translation>设置向导</translation>
    </message>
    <message>
        <source>Welcome,please set download directory!</source>
        <translation>欢迎使用，请设置下载目录！</translation>
    </message>
    <message>
        <source>Multimedia save the path:</source>
        <translation>多媒体保存路径：</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>浏览</translation>
    </message>
    <message>
        <source>Network</source>
        <translation>网络</translation>
    </message>
    <message>
        <source>must choose</source>
        <translation>请选择</translation>
    </message>
    <message>
        <source>IPv4/IPv6</source>
        <translation>IPv4/IPv6</translation>
    </message>
    <message>
        <source>IPv6 only</source>
        <translation>仅 IPv6</translation>
    </message>
    <message>
        <source>File Associations</source>
        <translation>文件关联</translation>
    </message>
    <message>
        <source>In order to achieve that point is put,
please choose the file associations!(Need Administrator Rights)</source>
        <translation>为了实现点击即播放，
请选择文件关联！（需要管理员权限）</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>下一步</translation>
    </message>
    <message>
        <source>Open Directory</source>
        <translation>打开目录</translation>
    </message>
</context>
<context>
    <name>about</name>
    <message>
        <source>About Morvane</source>
        <translation>关于 Morvane</translation>
    </message>
    <message>
        <source>About</source>
        <translation>关于</translation>
    </message>
    <message>
        <source>Morvane version</source>
        <translation>Morvane 版本</translation>
    </message>
    <message>
        <source>compile time</source>
        <translation>编译时间</translation>
    </message>
    <message>
        <source>Thanks to the use of the software</source>
        <translation>感谢使用本软件</translation>
    </message>
    <message>
        <source>Website </source>
        <translation>官方网站 </translation>
    </message>
    <message>
        <source>Forum</source>
        <translation>论坛</translation>
    </message>
</context>
</TS>
