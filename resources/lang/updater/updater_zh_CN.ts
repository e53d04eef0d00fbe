<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>Http</name>
    <message>
        <source>Morvane Update</source>
        <translation>Morvane 升级</translation>
    </message>
    <message>
        <source>Have the new version, is being downloaded 
upgrade file...</source>
        <translation>发现新版本，正在下载
升级文件...</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
</context>
<context>
    <name>HttpWindow</name>
    <message>
        <source>Prompt</source>
        <translation>提示</translation>
    </message>
    <message>
        <source>Morvane was installed by your system&apos;s package manager. Updates come from there: use your software centre or apt.</source>
        <translation>Morvane 由系统的软件包管理器安装，请通过它升级：使用软件中心或 apt。</translation>
    </message>
    <message>
        <source>No update server is configured.</source>
        <translation>尚未配置升级服务器。</translation>
    </message>
    <message>
        <source>HTTP</source>
        <translation>HTTP</translation>
    </message>
    <message>
        <source>Cannot save the file %1: %2.</source>
        <translation>无法保存文件 %1：%2。</translation>
    </message>
    <message>
        <source>Download failed: %1.</source>
        <translation>下载失败：%1。</translation>
    </message>
    <message>
        <source>Redirect to the %1 ?</source>
        <translation>是否重定向到 %1 ？</translation>
    </message>
    <message>
        <source>Your current version has set up a file is the latest, do not need to upgrade!</source>
        <translation>您当前安装的已是最新版本，无需升级！</translation>
    </message>
    <message>
        <source>Morvane Program is running, please click confirm continue to update after exit</source>
        <translation>Morvane 程序正在运行，请退出后点击确认继续升级</translation>
    </message>
    <message>
        <source>Upgrade finished ！</source>
        <translation>升级完成！</translation>
    </message>
    <message>
        <source>The download is larger than an upgrade can be. It has been deleted and was not started.</source>
        <translation>下载的文件超出了升级文件的大小上限，已将其删除，未予运行。</translation>
    </message>
    <message>
        <source>The upgrade file is not signed. It has been deleted and was not started.</source>
        <translation>升级文件没有签名，已将其删除，未予运行。</translation>
    </message>
    <message>
        <source>The upgrade file&apos;s signature is not valid. It has been deleted and was not started.</source>
        <translation>升级文件的签名无效，已将其删除，未予运行。</translation>
    </message>
</context>
</TS>
