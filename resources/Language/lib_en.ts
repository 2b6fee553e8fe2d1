<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
<context>
    <name>Bench</name>
    <message>
        <source>工作台需要 2 到 4 个电表，而不是 %1 个</source>
        <translation>a bench takes 2 to 4 meters, not %1</translation>
    </message>
    <message>
        <source>电表 %1 没有角色</source>
        <translation>meter %1 has no role</translation>
    </message>
    <message>
        <source>角色“%1”用了两次</source>
        <translation>the role '%1' is given twice</translation>
    </message>
    <message>
        <source>序列号 %1 用了两次</source>
        <translation>the serial number %1 is given twice</translation>
    </message>
    <message>
        <source>有 %1 个电表的序列号都是 %2：无法分辨它们</source>
        <translation>%1 meters have the serial number %2: they cannot be told apart</translation>
    </message>
    <message>
        <source>电表 %1 正由另一个程序记录（运行 %2）</source>
        <translation>meter %1 is being recorded by another program (run %2)</translation>
    </message>
    <message>
        <source>输入能量(Wh)</source>
        <translation>Energy in (Wh)</translation>
    </message>
    <message>
        <source>输出能量(Wh)</source>
        <translation>Energy out (Wh)</translation>
    </message>
    <message>
        <source>能量效率</source>
        <translation>Energy efficiency</translation>
    </message>
    <message>
        <source>平均损耗</source>
        <translation>Mean loss</translation>
    </message>
    <message>
        <source>最小损耗</source>
        <translation>Least loss</translation>
    </message>
    <message>
        <source>最大损耗</source>
        <translation>Greatest loss</translation>
    </message>
    <message>
        <source>配对记录</source>
        <translation>Paired records</translation>
    </message>
    <message>
        <source>空缺</source>
        <translation>Gaps</translation>
    </message>
</context>
<context>
    <name>BenchDialog</name>
    <message>
        <source>工作台</source>
        <translation>Bench</translation>
    </message>
    <message>
        <source>电表</source>
        <translation>Meter</translation>
    </message>
    <message>
        <source>角色</source>
        <translation>Role</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>刷新</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>开始</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>没有连接电表</source>
        <translation>no meter is attached</translation>
    </message>
    <message>
        <source>效率、损耗、压降：空缺（有一个电表没有记录）</source>
        <translation>efficiency, loss, drop: a gap (a meter has no record)</translation>
    </message>
    <message>
        <source>效率 %1 %   损耗 %2 W   压降 %3 V   电阻 %4</source>
        <translation>efficiency %1 %   loss %2 W   drop %3 V   resistance %4</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>工作台记录中：%1 个电表</source>
        <translation>Recording the bench: %1 meters</translation>
    </message>
    <message>
        <source>工作台 b%1 已保存在历史记录中</source>
        <translation>Bench b%1 is kept in the history</translation>
    </message>
    <message>
        <source>工作台已结束</source>
        <translation>The bench has ended</translation>
    </message>
</context>
<context>
    <name>CapacityPage</name>
    <message>
        <source>已运行 %1    电量 %2 Ah    能量 %3 Wh</source>
        <translation>Elapsed %1    Charge %2 Ah    Energy %3 Wh</translation>
    </message>
    <message>
        <source>满足任一选中的条件时，记录自动停止：</source>
        <translation>The run stops by itself when any chosen condition is met:</translation>
    </message>
    <message>
        <source>运行时长达到</source>
        <translation>After a duration of</translation>
    </message>
    <message>
        <source>充电完成：电流低于</source>
        <translation>Charge complete: current below</translation>
    </message>
    <message>
        <source>放电截止：电压低于</source>
        <translation>Discharge cut-off: voltage below</translation>
    </message>
    <message>
        <source>电量达到</source>
        <translation>When the charge reaches</translation>
    </message>
    <message>
        <source>能量达到</source>
        <translation>When the energy reaches</translation>
    </message>
    <message>
        <source> 秒</source>
        <translation> s</translation>
    </message>
    <message>
        <source>持续</source>
        <translation>for</translation>
    </message>
    <message>
        <source>开始记录</source>
        <translation>Start run</translation>
    </message>
    <message>
        <source>清空图表，按这些条件开始新的记录</source>
        <translation>Clear the chart and start a new run with these conditions</translation>
    </message>
    <message>
        <source>停止记录</source>
        <translation>Stop run</translation>
    </message>
    <message>
        <source>当前运行不是从本页开始的：它不按任何条件停止。</source>
        <translation>The run under way was not started here: it stops on none of these conditions.</translation>
    </message>
    <message>
        <source>当前运行没有停止条件。</source>
        <translation>The run under way has no stop condition.</translation>
    </message>
    <message>
        <source>当前运行满足以下任一条件时停止：%1</source>
        <translation>The run under way stops on any of: %1</translation>
    </message>
    <message>
        <source>；</source>
        <translation>; </translation>
    </message>
    <message>
        <source>“开始记录”将结束当前运行（已运行 %1，%2 条记录，已保存在历史记录中），清空图表并开始新的运行。</source>
        <translation>“Start run” ends the run under way (%1, %2 records, kept in the run history), clears the chart and starts a new run.</translation>
    </message>
    <message>
        <source>名称：</source>
        <translation>Name:</translation>
    </message>
    <message>
        <source>被测设备：</source>
        <translation>Device under test:</translation>
    </message>
    <message>
        <source>充电器/电源：</source>
        <translation>Charger/source:</translation>
    </message>
    <message>
        <source>线缆：</source>
        <translation>Cable:</translation>
    </message>
    <message>
        <source>环境温度 (°C)：</source>
        <translation>Ambient (°C):</translation>
    </message>
    <message>
        <source>备注：</source>
        <translation>Notes:</translation>
    </message>
</context>
<context>
    <name>Cli</name>
    <message>
        <source>无法写入标准输出：%1</source>
        <translation>cannot write standard output: %1</translation>
    </message>
    <message>
        <source>标准输出</source>
        <translation>standard output</translation>
    </message>
    <message>
        <source>无法打开电表 %1：没有读写权限。请安装 Ombrel 的 udev 规则（安装包会安装它；或将 packaging/70-ombrel-meter.rules 复制到 /etc/udev/rules.d/），运行“sudo udevadm control --reload”，然后拔下电表再重新插上。</source>
        <translation>cannot open the meter at %1: no read and write permission. Install Ombrel's udev rule (the package installs it; or copy packaging/70-ombrel-meter.rules to /etc/udev/rules.d/), run 'sudo udevadm control --reload', then unplug the meter and plug it in again.</translation>
    </message>
    <message>
        <source>没有连接电表</source>
        <translation>no meter is attached</translation>
    </message>
    <message>
        <source>没有连接序列号为 %1 的电表</source>
        <translation>no meter with serial number %1 is attached</translation>
    </message>
    <message>
        <source>无法打开电表 %1</source>
        <translation>cannot open the meter at %1</translation>
    </message>
    <message>
        <source>多余的参数“%1”</source>
        <translation>unexpected argument '%1'</translation>
    </message>
    <message>
        <source>无法写入电表</source>
        <translation>cannot write to the meter</translation>
    </message>
    <message>
        <source>电表没有报告其设置</source>
        <translation>the meter did not report its settings</translation>
    </message>
    <message>
        <source>没有要更改的设置（ombrel set --help 列出全部设置）</source>
        <translation>nothing to set (ombrel set --help lists the settings)</translation>
    </message>
    <message>
        <source>--%1 的文件名为空</source>
        <translation>an empty file name for --%1</translation>
    </message>
    <message>
        <source>无法写入 %1：%2</source>
        <translation>cannot write %1: %2</translation>
    </message>
    <message>
        <source>电表已拔出：运行结束</source>
        <translation>the meter was pulled out: the run ends</translation>
    </message>
    <message>
        <source>电表已拔出：等待它（序列号 %1）重新插上</source>
        <translation>the meter was pulled out: waiting for it (serial number %1) to come back</translation>
    </message>
    <message>
        <source>电表已重新插上：运行继续</source>
        <translation>the meter is back: the run goes on</translation>
    </message>
    <message>
        <source>出错之前的记录都已在文件中</source>
        <translation>the records up to the failure are in the files</translation>
    </message>
    <message>
        <source>运行已结束（%1），历时 %2：%3，%4 Ah，%5 Wh</source>
        <translation>the run ended (%1) after %2: %3, %4 Ah, %5 Wh</translation>
    </message>
    <message>
        <source>1 条记录</source>
        <translation>1 record</translation>
    </message>
    <message>
        <source>%1 条记录</source>
        <translation>%1 records</translation>
    </message>
    <message>
        <source>无效的运行“%1”：应为运行的编号（见 %2 runs）或 last</source>
        <translation>bad run '%1': a run's id (see %2 runs) or last</translation>
    </message>
    <message>
        <source>运行记录数据库 %1 中没有运行</source>
        <translation>no run in the run journal %1</translation>
    </message>
    <message>
        <source>运行记录数据库 %2 中没有运行 %1</source>
        <translation>no run %1 in the run journal %2</translation>
    </message>
    <message>
        <source>哪一次运行？请给出其编号或 last</source>
        <translation>which run? give its id or last</translation>
    </message>
    <message>
        <source>没有给出固件文件</source>
        <translation>no firmware file given</translation>
    </message>
    <message>
        <source>请给出标记的名称</source>
        <translation>give the mark's name</translation>
    </message>
    <message>
        <source>没有正在记录的运行：请用 --run 指定运行（见 %1 runs）</source>
        <translation>no run is being recorded: give one with --run (see %1 runs)</translation>
    </message>
    <message>
        <source>运行 %1 还没有记录</source>
        <translation>run %1 has no record yet</translation>
    </message>
    <message>
        <source>运行 %1 已结束：请用 --at 给出标记的时间</source>
        <translation>run %1 has ended: give the mark's time with --at</translation>
    </message>
    <message>
        <source>没有报告文件：请给出 --pdf FILE 和/或 --html FILE</source>
        <translation>no report file: give --pdf FILE and/or --html FILE</translation>
    </message>
    <message>
        <source>--from %1 在 --to %2 之后</source>
        <translation>--from %1 is after --to %2</translation>
    </message>
    <message>
        <source>--%1 %2 不在运行 %3 之内（%4）</source>
        <translation>--%1 %2 is outside run %3 (%4)</translation>
    </message>
    <message>
        <source>所给区间不在运行 %1 之内（%2）</source>
        <translation>the interval is outside run %1 (%2)</translation>
    </message>
    <message>
        <source>运行的结束无法写入运行记录数据库：它将显示为中断的运行</source>
        <translation>the end of the run could not be written to the run journal: it will show as interrupted</translation>
    </message>
    <message>
        <source>无法设置信号处理</source>
        <translation>cannot set up signal handling</translation>
    </message>
    <message>
        <source>电表（序列号 %1）已拔出</source>
        <translation>the meter (serial number %1) was pulled out</translation>
    </message>
    <message>
        <source>只有一个导出能写到标准输出（-）</source>
        <translation>only one of --csv, --jsonl and --sr can go to standard output (-)</translation>
    </message>
    <message>
        <source>没有导出目标：请给出 --csv、--jsonl 或 --sr 的文件</source>
        <translation>nothing to export to: give a file to --csv, --jsonl or --sr</translation>
    </message>
    <message>
        <source>输入 %1 Wh，输出 %2 Wh，能量效率 %3 %，损耗平均 %4 W（%5 至 %6 W），%7 对记录，%8 处空缺</source>
        <translation>in %1 Wh, out %2 Wh, energy efficiency %3 %, loss mean %4 W (%5 to %6 W), %7 pairs of records, %8 gaps</translation>
    </message>
    <message>
        <source>运行记录数据库 %2 中没有工作台 %1</source>
        <translation>no bench %1 in the run journal %2</translation>
    </message>
</context>
<context>
    <name>CompareWindow</name>
    <message>
        <source>开始后 %1</source>
        <translation>%1 since start</translation>
    </message>
    <message>
        <source>Save File</source>
        <translation>Save File</translation>
    </message>
    <message>
        <source>image(*.png)</source>
        <translation>image(*.png)</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>无法写入 %1：%2</source>
        <translation>cannot write %1: %2</translation>
    </message>
    <message>
        <source>报告</source>
        <translation>Report</translation>
    </message>
    <message>
        <source>对比</source>
        <translation>Compare</translation>
    </message>
    <message>
        <source>通道:</source>
        <translation>Channel:</translation>
    </message>
    <message>
        <source>对齐:</source>
        <translation>Align at:</translation>
    </message>
    <message>
        <source>开始</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>测量</source>
        <translation>Measure</translation>
    </message>
    <message>
        <source>导出图片(.png)</source>
        <translation>Export image (.png)</translation>
    </message>
    <message>
        <source>导出数据(.csv)</source>
        <translation>Export data (.csv)</translation>
    </message>
    <message>
        <source>A – B</source>
        <translation>A – B</translation>
    </message>
    <message>
        <source>时长(s)</source>
        <translation>Duration (s)</translation>
    </message>
    <message>
        <source>记录数</source>
        <translation>Records</translation>
    </message>
    <message>
        <source>电量(Ah)</source>
        <translation>Charge (Ah)</translation>
    </message>
    <message>
        <source>能量(Wh)</source>
        <translation>Energy (Wh)</translation>
    </message>
    <message>
        <source>VBUS 平均/峰值(V)</source>
        <translation>VBUS mean/peak (V)</translation>
    </message>
    <message>
        <source>IBUS 平均/峰值(A)</source>
        <translation>IBUS mean/peak (A)</translation>
    </message>
    <message>
        <source>POWER 平均/峰值(W)</source>
        <translation>POWER mean/peak (W)</translation>
    </message>
    <message>
        <source>工作台 %1</source>
        <translation>Bench b%1</translation>
    </message>
    <message>
        <source>A–B %1 – %2</source>
        <translation>A–B %1 – %2</translation>
    </message>
    <message>
        <source>整个工作台</source>
        <translation>Whole bench</translation>
    </message>
</context>
<context>
    <name>DeviceInfoUI</name>
    <message>
        <source>型号</source>
        <translation>Model</translation>
    </message>
    <message>
        <source>模拟器</source>
        <translation>Simulator</translation>
    </message>
    <message>
        <source>序列号</source>
        <translation>SN</translation>
    </message>
    <message>
        <source>空闲</source>
        <translation>Idle</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>连接</source>
        <translation>Connect</translation>
    </message>
</context>
<context>
    <name>ExportController</name>
    <message>
        <source>提示信息</source>
        <translation>Prompt information</translation>
    </message>
    <message>
        <source>数据太少了吧，请记录至少二十条数据。</source>
        <translation>There are too few data. Please record at least 20 data.</translation>
    </message>
    <message>
        <source>Excel file</source>
        <translation>Excel file</translation>
    </message>
    <message>
        <source>Files (*.csv)</source>
        <translation>Files (*.csv)</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>无法写入文件：</source>
        <translation>Cannot write the file: </translation>
    </message>
    <message>
        <source>Save File</source>
        <translation>Save File</translation>
    </message>
    <message>
        <source>image(*.png)</source>
        <translation>image(*.png)</translation>
    </message>
    <message>
        <source>%1 已存在。要替换它吗？</source>
        <translation>%1 already exists. Do you want to replace it?</translation>
    </message>
    <message>
        <source>无法保存图片：</source>
        <translation>Cannot save the picture: </translation>
    </message>
</context>
<context>
    <name>Firmware</name>
    <message>
        <source>无法读取固件 %1</source>
        <translation>cannot read the image %1</translation>
    </message>
    <message>
        <source>固件 %1 不是普通文件（例如命名管道或设备）</source>
        <translation>the image %1 is not a regular file (a named pipe or a device, for instance)</translation>
    </message>
    <message>
        <source>固件 %1 太大（超过 %2 字节）</source>
        <translation>the image %1 is too big (more than %2 bytes)</translation>
    </message>
    <message>
        <source>固件 %1 是空文件</source>
        <translation>the image %1 is empty</translation>
    </message>
    <message>
        <source>无法写入电表</source>
        <translation>cannot write to the meter</translation>
    </message>
    <message>
        <source>写入电表失败，升级没有完成</source>
        <translation>a write to the meter failed; the upgrade did not finish</translation>
    </message>
    <message>
        <source>电表已拔出，升级没有完成</source>
        <translation>the meter was pulled out; the upgrade did not finish</translation>
    </message>
    <message>
        <source>电表的引导程序报告失败</source>
        <translation>the meter's loader reported a failure</translation>
    </message>
    <message>
        <source>电表的引导程序停止应答（超时）</source>
        <translation>the meter's loader stopped answering (time-out)</translation>
    </message>
    <message>
        <source>升级没有完成</source>
        <translation>the upgrade did not finish</translation>
    </message>
</context>
<context>
    <name>InfluxSettings</name>
    <message>
        <source>“%1”不是 http:// 或 https:// 地址</source>
        <translation>'%1' is not an http:// or https:// URL</translation>
    </message>
    <message>
        <source>地址中不能含有密码：请单独给出密码</source>
        <translation>the URL must not hold a password: give the password on its own</translation>
    </message>
    <message>
        <source>“%1”含有查询或片段：请给出服务器的地址</source>
        <translation>'%1' has a query or fragment: give the server's URL</translation>
    </message>
</context>
<context>
    <name>LiveOutputs</name>
    <message>
        <source>未启用</source>
        <translation>off</translation>
    </message>
    <message>
        <source>MQTT 代理 %1：等待运行开始</source>
        <translation>MQTT broker %1: waiting for a run</translation>
    </message>
    <message>
        <source>正在监听 %1</source>
        <translation>listening on %1</translation>
    </message>
    <message>
        <source>无法监听 %1：%2</source>
        <translation>cannot listen on %1: %2</translation>
    </message>
    <message>
        <source>InfluxDB %1：%2</source>
        <translation>InfluxDB %1: %2</translation>
    </message>
    <message>
        <source>正在写入 InfluxDB %1</source>
        <translation>writing to InfluxDB %1</translation>
    </message>
    <message>
        <source>InfluxDB %1：等待记录</source>
        <translation>InfluxDB %1: waiting for records</translation>
    </message>
    <message>
        <source>正在写入 InfluxDB %1；服务器拒收了 %2 个数据点（%3）</source>
        <translation>writing to InfluxDB %1; the server refused %2 points (%3)</translation>
    </message>
    <message>
        <source>无法删除密码文件 %1</source>
        <translation>Cannot remove the password file %1</translation>
    </message>
    <message>
        <source>无法保存密码文件 %1：%2</source>
        <translation>Cannot save the password file %1: %2</translation>
    </message>
    <message>
        <source>只有一个输出能写到标准输出（-）</source>
        <translation>only one of --csv, --jsonl and --influx can write to standard output (-)</translation>
    </message>
    <message>
        <source>MQTT 主题前缀“%1”无效：不能含有 + 或 #，也不能以 / 结尾</source>
        <translation>The MQTT topic prefix “%1” is not valid: it may not hold + or # nor end in /.</translation>
    </message>
    <message>
        <source>CA 文件只用于 TLS 连接的代理：mqtts://%1</source>
        <translation>A CA file is for a TLS broker: mqtts://%1.</translation>
    </message>
    <message>
        <source>无法读取 CA 文件 %1：%2</source>
        <translation>Cannot read the CA file %1: %2</translation>
    </message>
    <message>
        <source>CA 文件 %1 中没有证书（PEM 格式，-----BEGIN CERTIFICATE-----）</source>
        <translation>The CA file %1 holds no certificate (PEM, -----BEGIN CERTIFICATE-----).</translation>
    </message>
    <message>
        <source>MQTT 代理的密码需要用户名</source>
        <translation>A password for the MQTT broker needs a user name.</translation>
    </message>
    <message>
        <source>指标监听地址“%1”无效：%2</source>
        <translation>The metrics address '%1' is not valid: %2</translation>
    </message>
    <message>
        <source>请填写 InfluxDB 的数据库名称</source>
        <translation>Give the InfluxDB database to write to</translation>
    </message>
</context>
<context>
    <name>LiveOutputsDialog</name>
    <message>
        <source>实时输出</source>
        <translation>Live outputs</translation>
    </message>
    <message>
        <source>MQTT 代理</source>
        <translation>MQTT broker</translation>
    </message>
    <message>
        <source>代理地址</source>
        <translation>Broker</translation>
    </message>
    <message>
        <source>用户名</source>
        <translation>User</translation>
    </message>
    <message>
        <source>密码</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>CA 文件 (mqtts)</source>
        <translation>CA file (mqtts)</translation>
    </message>
    <message>
        <source>主题前缀</source>
        <translation>Topic prefix</translation>
    </message>
    <message>
        <source>ombrel/&lt;序列号&gt;</source>
        <translation>ombrel/&lt;serial&gt;</translation>
    </message>
    <message>
        <source>Home Assistant 自动发现</source>
        <translation>Home Assistant discovery</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Prometheus 指标</source>
        <translation>Prometheus metrics</translation>
    </message>
    <message>
        <source>监听 [地址:]端口</source>
        <translation>Listen on [ADDR:]PORT</translation>
    </message>
    <message>
        <source>InfluxDB</source>
        <translation>InfluxDB</translation>
    </message>
    <message>
        <source>服务器地址</source>
        <translation>Server</translation>
    </message>
    <message>
        <source>数据库</source>
        <translation>Database</translation>
    </message>
    <message>
        <source>密码或令牌</source>
        <translation>Password or token</translation>
    </message>
    <message>
        <source>清空地址即关闭该输出。密码保存在只有您能读取的单独文件中。</source>
        <translation>An empty address turns that output off. Passwords are kept in a file of their own that only you can read.</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>应用</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
</context>
<context>
    <name>MainDialog</name>
    <message>
        <source>VORANE_USB_TESTER</source>
        <translation>VORANE_USB_TESTER</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;电能表 V1.0.9&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;VORANE Ombrel V1.0.9&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>下拉菜单</source>
        <translation>Drop-down menu</translation>
    </message>
    <message>
        <source>最小化</source>
        <translation>Minimize</translation>
    </message>
    <message>
        <source>最大化</source>
        <translation>Maximize</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>设备列表</source>
        <translation>Devices</translation>
    </message>
    <message>
        <source>主页菜单</source>
        <translation>Home menu</translation>
    </message>
    <message>
        <source>主页</source>
        <translation>Home</translation>
    </message>
    <message>
        <source>固件升级</source>
        <translation>Firmware update</translation>
    </message>
    <message>
        <source>返回主页</source>
        <translation>Return</translation>
    </message>
    <message>
        <source>设备名称:</source>
        <translation>Device name:</translation>
    </message>
    <message>
        <source>固件文件:</source>
        <translation>Firmware file:</translation>
    </message>
    <message>
        <source>打开文件</source>
        <translation>Open file</translation>
    </message>
    <message>
        <source>固件信息:</source>
        <translation>Firmware:</translation>
    </message>
    <message>
        <source>开始下载</source>
        <translation>Start download</translation>
    </message>
    <message>
        <source>联机测试</source>
        <translation>Online testing</translation>
    </message>
    <message>
        <source>仪表参数设置</source>
        <translation>Setting</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Setting</translation>
    </message>
    <message>
        <source>升级</source>
        <translation>Upgrade</translation>
    </message>
    <message>
        <source>菜单</source>
        <translation>Menu</translation>
    </message>
    <message>
        <source>运行/停止</source>
        <translation>Run/Stop</translation>
    </message>
    <message>
        <source>Simple Real-Time Chart</source>
        <translation>Simple Real-Time Chart</translation>
    </message>
    <message>
        <source>单击修改标题</source>
        <translation>Click to modify the Title</translation>
    </message>
    <message>
        <source>DP/DM</source>
        <translation>DP/DM</translation>
    </message>
    <message>
        <source>DP/DM曲线</source>
        <translation>DP/DM Curve</translation>
    </message>
    <message>
        <source>CC1/CC2</source>
        <translation>CC1/CC2</translation>
    </message>
    <message>
        <source>CC1/CC2曲线</source>
        <translation>CC1/CC2 Curve</translation>
    </message>
    <message>
        <source>CPU TEMP</source>
        <translation>CPU TEMP</translation>
    </message>
    <message>
        <source>CPU温度曲线</source>
        <translation>CPU temperature curve</translation>
    </message>
    <message>
        <source>自定义曲线范围</source>
        <translation>Custom Scope</translation>
    </message>
    <message>
        <source>系统设置</source>
        <translation>System settings</translation>
    </message>
    <message>
        <source>项目</source>
        <translation>Project</translation>
    </message>
    <message>
        <source>01 语言字体设置</source>
        <translation>01 Language</translation>
    </message>
    <message>
        <source>中文</source>
        <translation>中文</translation>
    </message>
    <message>
        <source>English</source>
        <translation>English</translation>
    </message>
    <message>
        <source>02 工作屏幕亮度</source>
        <translation>02 Working Light</translation>
    </message>
    <message>
        <source>03 待机屏幕亮度</source>
        <translation>03 Standby Light</translation>
    </message>
    <message>
        <source>04 进入待机时间</source>
        <translation>04 Standby Time</translation>
    </message>
    <message>
        <source>05 屏幕待机风格</source>
        <translation>05 Standby Style</translation>
    </message>
    <message>
        <source>风格1</source>
        <translation>Style 1</translation>
    </message>
    <message>
        <source>风格2</source>
        <translation>Style 2</translation>
    </message>
    <message>
        <source>原始</source>
        <translation>Original</translation>
    </message>
    <message>
        <source>06 空载电流清零</source>
        <translation>06 Zero No-load I</translation>
    </message>
    <message>
        <source>电流清零</source>
        <translation>Zero current</translation>
    </message>
    <message>
        <source>07 最小测量电流</source>
        <translation>07 Minimum Current</translation>
    </message>
    <message>
        <source>0A</source>
        <translation>0A</translation>
    </message>
    <message>
        <source>0.01A</source>
        <translation>0.01A</translation>
    </message>
    <message>
        <source>0.02A</source>
        <translation>0.02A</translation>
    </message>
    <message>
        <source>08 参考电压校准</source>
        <translation>08 Voltage Adjust</translation>
    </message>
    <message>
        <source>当前电压：</source>
        <translation>Voltage:</translation>
    </message>
    <message>
        <source>校准系数：</source>
        <translation>Calibration factor:</translation>
    </message>
    <message>
        <source>09 参考电流校准</source>
        <translation>09 Current Adjust</translation>
    </message>
    <message>
        <source>当前电流：</source>
        <translation>Current:</translation>
    </message>
    <message>
        <source>10 内部温度校准</source>
        <translation>10 CPU_T Adjust</translation>
    </message>
    <message>
        <source>当前温度：</source>
        <translation>Temperature:</translation>
    </message>
    <message>
        <source>11 恢复出厂设置</source>
        <translation>11 Default Setting</translation>
    </message>
    <message>
        <source>恢复出厂设置</source>
        <translation>Factory reset</translation>
    </message>
    <message>
        <source>12 累计数据清零</source>
        <translation>12.All Data Zero</translation>
    </message>
    <message>
        <source>数据清零</source>
        <translation>Zero data</translation>
    </message>
    <message>
        <source>13 重力旋转开关</source>
        <translation>13 Gravity rotary switch</translation>
    </message>
    <message>
        <source>开</source>
        <translation>On</translation>
    </message>
    <message>
        <source>关</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>协议触发</source>
        <translation>Protocol trigger</translation>
    </message>
    <message>
        <source>此功能正在加点开发中，敬请期待。</source>
        <translation>This function is under development.</translation>
    </message>
    <message>
        <source>快充协议自动检测</source>
        <translation>Protocol detector</translation>
    </message>
    <message>
        <source>电池容量</source>
        <translation>Battery capacity</translation>
    </message>
    <message>
        <source>03 空载电流清零</source>
        <translation>03 Zero No-load I</translation>
    </message>
    <message>
        <source>04 累计数据清零</source>
        <translation>04.All Data Zero</translation>
    </message>
    <message>
        <source>05 震动开关</source>
        <translation>05 Motor Switch</translation>
    </message>
    <message>
        <source>快充协议高压触发</source>
        <translation>Protocol trigger</translation>
    </message>
    <message>
        <source>电池容量电量检测</source>
        <translation>Capacity detector</translation>
    </message>
    <message>
        <source>电能表</source>
        <translation>Electric Energy Meter</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>运行</source>
        <translation>Run</translation>
    </message>
    <message>
        <source>设备已连接</source>
        <translation>Device connected</translation>
    </message>
    <message>
        <source>设备已断开</source>
        <translation>Device disconnected</translation>
    </message>
    <message>
        <source>(输入悬空时有感应电压是正常现象)</source>
        <translation>(It is normal to have induced voltage when input is suspended)</translation>
    </message>
    <message>
        <source>测量小数值时让曲线更明显</source>
        <translation>Make the curve more pronounced when measuring small values</translation>
    </message>
    <message>
        <source>Custom Axis</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>标题变更对话框</source>
        <translation>Title Change Dialog</translation>
    </message>
    <message>
        <source>请输入标题:</source>
        <translation>Please enter a title:</translation>
    </message>
    <message>
        <source>曲线颜色</source>
        <translation>Curve color</translation>
    </message>
    <message>
        <source>曲线宽度</source>
        <translation>Curve width</translation>
    </message>
    <message>
        <source>VBUS</source>
        <translation>VBUS</translation>
    </message>
    <message>
        <source>IBUS</source>
        <translation>IBUS</translation>
    </message>
    <message>
        <source>POWER</source>
        <translation>POWER</translation>
    </message>
    <message>
        <source>PD</source>
        <translation>PD</translation>
    </message>
    <message>
        <source>PM</source>
        <translation>PM</translation>
    </message>
    <message>
        <source>CC1</source>
        <translation>CC1</translation>
    </message>
    <message>
        <source>CC2</source>
        <translation>CC2</translation>
    </message>
    <message>
        <source>CPU_Temp</source>
        <translation>CPU_Temp</translation>
    </message>
    <message>
        <source>背景颜色风格：</source>
        <translation>ChartTheme:</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>打开文件...</source>
        <translation>Open File...</translation>
    </message>
    <message>
        <source>打开固件文件</source>
        <translation>Open firmware file</translation>
    </message>
    <message>
        <source>BIN文件(*.bin)</source>
        <translation>BIN file(*.bin)</translation>
    </message>
    <message>
        <source>error</source>
        <translation>error</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>固件过大,请选择正确的固件</source>
        <translation>The firmware is too large, please select the correct firmware</translation>
    </message>
    <message>
        <source>空的固件</source>
        <translation>Empty firmware</translation>
    </message>
    <message>
        <source>固件是空的</source>
        <translation>Firmware is empty</translation>
    </message>
    <message>
        <source>握手成功...</source>
        <translation>Handshake succeeded...</translation>
    </message>
    <message>
        <source>开始传输固件...</source>
        <translation>Start transferring firmware...</translation>
    </message>
    <message>
        <source>传输完成...</source>
        <translation>Transfer complete...</translation>
    </message>
    <message>
        <source>传输耗时</source>
        <translation>Transmission time</translation>
    </message>
    <message>
        <source>请等待设备烧写完成...</source>
        <translation>Please wait for the device to finish burning...</translation>
    </message>
    <message>
        <source>下载烧写过程耗时</source>
        <translation>The download burning process takes time</translation>
    </message>
    <message>
        <source>烧写完成...</source>
        <translation>Burning completed...</translation>
    </message>
    <message>
        <source>本次下载结束</source>
        <translation>End of this download</translation>
    </message>
    <message>
        <source>更新失败</source>
        <translation>Update failed</translation>
    </message>
    <message>
        <source>导出数据(.csv)</source>
        <translation>Export data (.csv)</translation>
    </message>
    <message>
        <source>导出图片(.png)</source>
        <translation>Export image (.png)</translation>
    </message>
    <message>
        <source>曲线设置</source>
        <translation>Curve Settings</translation>
    </message>
    <message>
        <source>累计图显</source>
        <translation>All Display</translation>
    </message>
    <message>
        <source>滚动图显</source>
        <translation>Scroll display</translation>
    </message>
    <message>
        <source>开发中...</source>
        <translation>Developing...</translation>
    </message>
    <message>
        <source>简体中文</source>
        <translation>简体中文</translation>
    </message>
    <message>
        <source>无法打开仪表 %1：没有读写权限。请安装本程序的 udev 规则，然后拔下并重新插入仪表。</source>
        <translation>Cannot open the meter %1: no permission to read and write it. Install this program's udev rule, then unplug and plug in the meter.</translation>
    </message>
    <message>
        <source>设置文件 %1 不是普通文件（例如命名管道或设备）：已使用默认设置启动，更改不会保存。</source>
        <translation>The settings file %1 is not a regular file (a named pipe or a device, for instance): started with the default settings, and changes are not saved.</translation>
    </message>
    <message>
        <source>不是普通文件（例如命名管道或设备）</source>
        <translation>not a regular file (a named pipe or a device, for instance)</translation>
    </message>
    <message>
        <source>无法打开固件：</source>
        <translation>Cannot open the firmware: </translation>
    </message>
    <message>
        <source>已满足停止条件：%1。记录：时长 %2，电量 %3 Ah，能量 %4 Wh，%5 条记录</source>
        <translation>Stop condition met: %1. Run: %2, %3 Ah, %4 Wh, %5 records</translation>
    </message>
    <message>
        <source>记录已按条件停止：%1</source>
        <translation>The run stopped by its condition: %1</translation>
    </message>
    <message>
        <source>测量</source>
        <translation>Measure</translation>
    </message>
    <message>
        <source>测量光标：在曲线上按住左键拖动，设置光标 A 和 B，显示两者之间的统计；Esc 清除</source>
        <translation>Measurement cursors: press and drag on the curves to set cursors A and B and see the statistics between them; Esc clears them</translation>
    </message>
    <message>
        <source>上次有 %1 次运行未正常结束，已作为中断的运行保存在历史记录中。</source>
        <translation>%1 run(s) did not end properly last time; they are kept in the run history as interrupted.</translation>
    </message>
    <message>
        <source>无法读取这次运行：%1</source>
        <translation>Cannot read this run: %1</translation>
    </message>
    <message>
        <source>历史记录</source>
        <translation>Run history</translation>
    </message>
    <message>
        <source>设置文件 %1 是一个文件夹：已使用默认设置启动，更改不会保存。</source>
        <translation>The settings file %1 is a folder: started with the default settings, and changes are not saved.</translation>
    </message>
    <message>
        <source>设置文件 %1 不是设置文件（其中是二进制数据）：已使用默认设置启动，该文件保持原样，更改不会保存。</source>
        <translation>The settings file %1 is not a settings file (it holds binary data): started with the default settings, the file is left as it is, and changes are not saved.</translation>
    </message>
    <message>
        <source>设置文件 %1 异常大（%2 MB）：更改在后台保存。</source>
        <translation>The settings file %1 is unusually large (%2 MB): changes are saved in the background.</translation>
    </message>
    <message>
        <source>无法写入 %1：%2</source>
        <translation>cannot write %1: %2</translation>
    </message>
    <message>
        <source>实时输出</source>
        <translation>Live outputs</translation>
    </message>
    <message>
        <source>返回实时</source>
        <translation>Back to live</translation>
    </message>
    <message>
        <source>图表显示已保存的运行 %1，开始于 %2</source>
        <translation>The chart shows stored run %1, started %2</translation>
    </message>
    <message>
        <source>图表显示已保存的运行 %1“%2”，开始于 %3</source>
        <translation>The chart shows stored run %1 “%2”, started %3</translation>
    </message>
    <message>
        <source>工作台</source>
        <translation>Bench</translation>
    </message>
</context>
<context>
    <name>MarkController</name>
    <message>
        <source>标记</source>
        <translation>Mark</translation>
    </message>
    <message>
        <source>标记运行的此刻并命名（Ctrl+M）；查看已保存的运行时，点击曲线上要标记的时刻</source>
        <translation>Mark this moment of the run and name it (Ctrl+M); on a stored run, click the curves where the mark goes</translation>
    </message>
    <message>
        <source>导出区间</source>
        <translation>Export interval</translation>
    </message>
    <message>
        <source>把两条光标之间的记录导出为 CSV 或 JSON lines 文件</source>
        <translation>Export the records between the two cursors to a CSV or JSON lines file</translation>
    </message>
    <message>
        <source>没有正在记录的运行可以标记。</source>
        <translation>There is no run being recorded to mark.</translation>
    </message>
    <message>
        <source>标记 %1</source>
        <translation>Mark %1</translation>
    </message>
    <message>
        <source>标记名称：</source>
        <translation>Name of the mark:</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>无法保存标记：</source>
        <translation>Cannot save the mark: </translation>
    </message>
    <message>
        <source>CSV 文件 (*.csv)</source>
        <translation>CSV files (*.csv)</translation>
    </message>
    <message>
        <source>JSON lines 文件 (*.jsonl)</source>
        <translation>JSON lines files (*.jsonl)</translation>
    </message>
    <message>
        <source>无法写入文件：</source>
        <translation>Cannot write the file: </translation>
    </message>
</context>
<context>
    <name>MetricsSettings</name>
    <message>
        <source>IPv6 地址应放在方括号中：[地址]:端口</source>
        <translation>an IPv6 address goes in brackets: [ADDR]:PORT</translation>
    </message>
    <message>
        <source>“%1”不是 IP 地址</source>
        <translation>'%1' is not an IP address</translation>
    </message>
    <message>
        <source>“%1”不是端口号（0 到 65535）</source>
        <translation>'%1' is not a port number (0 to 65535)</translation>
    </message>
</context>
<context>
    <name>MqttSettings</name>
    <message>
        <source>“%1”不是 MQTT 代理地址：应为 mqtt://主机[:端口] 或 mqtts://主机[:端口]</source>
        <translation>'%1' is not a broker address: mqtt://HOST[:PORT] or mqtts://HOST[:PORT]</translation>
    </message>
    <message>
        <source>“%1”不是 MQTT 代理地址：端口应为 1 到 65535 的数字</source>
        <translation>'%1' is not a broker address: the port must be a number from 1 to 65535</translation>
    </message>
    <message>
        <source>“%1”中没有主机名</source>
        <translation>'%1' names no host</translation>
    </message>
    <message>
        <source>“%1”含有用户名或密码：请分别给出用户名和密码</source>
        <translation>'%1' holds a user or password: give the user name and the password on their own</translation>
    </message>
    <message>
        <source>“%1”含有路径：主题由主题前缀决定</source>
        <translation>'%1' has a path: the topics are set by the topic prefix</translation>
    </message>
</context>
<context>
    <name>MqttStatus</name>
    <message>
        <source>正在连接 MQTT 代理 %1</source>
        <translation>connecting to the MQTT broker %1</translation>
    </message>
    <message>
        <source>已连接 MQTT 代理 %1</source>
        <translation>connected to the MQTT broker %1</translation>
    </message>
    <message>
        <source>MQTT 代理 %1 拒绝了连接</source>
        <translation>the MQTT broker %1 refused the connection</translation>
    </message>
    <message>
        <source>MQTT 代理 %1 拒绝了用户名或密码</source>
        <translation>the MQTT broker %1 refused the user name or password</translation>
    </message>
    <message>
        <source>无法连接到 MQTT 代理 %1</source>
        <translation>cannot reach the MQTT broker %1</translation>
    </message>
    <message>
        <source>与 MQTT 代理 %1 的 TLS 握手失败</source>
        <translation>the TLS handshake with the MQTT broker %1 failed</translation>
    </message>
</context>
<context>
    <name>Python</name>
    <message>
        <source>运行 %1 已结束：不能再标记</source>
        <translation>run %1 has ended: it can no longer be marked</translation>
    </message>
</context>
<context>
    <name>RegularFile</name>
    <message>
        <source>命名管道没有读取方</source>
        <translation>a named pipe that no program reads</translation>
    </message>
</context>
<context>
    <name>RunComparison</name>
    <message>
        <source>请选择 %1 到 %2 次运行进行对比。</source>
        <translation>Select %1 to %2 runs to compare.</translation>
    </message>
    <message>
        <source>无法读取运行 %1：%2</source>
        <translation>Cannot read run %1: %2</translation>
    </message>
    <message>
        <source>开始</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>时长</source>
        <translation>Duration</translation>
    </message>
    <message>
        <source>记录数</source>
        <translation>Records</translation>
    </message>
    <message>
        <source>电量(Ah)</source>
        <translation>Charge (Ah)</translation>
    </message>
    <message>
        <source>能量(Wh)</source>
        <translation>Energy (Wh)</translation>
    </message>
    <message>
        <source>峰值电压(V)</source>
        <translation>Peak voltage (V)</translation>
    </message>
    <message>
        <source>平均电压(V)</source>
        <translation>Mean voltage (V)</translation>
    </message>
    <message>
        <source>峰值电流(A)</source>
        <translation>Peak current (A)</translation>
    </message>
    <message>
        <source>平均电流(A)</source>
        <translation>Mean current (A)</translation>
    </message>
    <message>
        <source>峰值功率(W)</source>
        <translation>Peak power (W)</translation>
    </message>
    <message>
        <source>平均功率(W)</source>
        <translation>Mean power (W)</translation>
    </message>
    <message>
        <source>结束原因</source>
        <translation>End reason</translation>
    </message>
    <message>
        <source>效率</source>
        <translation>Efficiency</translation>
    </message>
    <message>
        <source>损耗</source>
        <translation>Loss</translation>
    </message>
    <message>
        <source>压降</source>
        <translation>Drop</translation>
    </message>
    <message>
        <source>电阻</source>
        <translation>Resistance</translation>
    </message>
</context>
<context>
    <name>RunHistoryWindow</name>
    <message>
        <source>重命名</source>
        <translation>Rename</translation>
    </message>
    <message>
        <source>这次运行的名称:</source>
        <translation>Name of this run:</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>删除 %1 开始的这次运行及其全部记录？此操作无法撤销。</source>
        <translation>Delete the run started %1 with all its records? This cannot be undone.</translation>
    </message>
    <message>
        <source>历史记录</source>
        <translation>Run history</translation>
    </message>
    <message>
        <source>开始</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>时长</source>
        <translation>Duration</translation>
    </message>
    <message>
        <source>仪表</source>
        <translation>Meter</translation>
    </message>
    <message>
        <source>记录数</source>
        <translation>Records</translation>
    </message>
    <message>
        <source>电量(Ah)</source>
        <translation>Charge (Ah)</translation>
    </message>
    <message>
        <source>能量(Wh)</source>
        <translation>Energy (Wh)</translation>
    </message>
    <message>
        <source>峰值功率(W)</source>
        <translation>Peak power (W)</translation>
    </message>
    <message>
        <source>结束原因</source>
        <translation>End reason</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>在图表中打开</source>
        <translation>Open in chart</translation>
    </message>
    <message>
        <source>导出数据(.csv)</source>
        <translation>Export data (.csv)</translation>
    </message>
    <message>
        <source>导出图片(.png)</source>
        <translation>Export image (.png)</translation>
    </message>
    <message>
        <source>返回实时</source>
        <translation>Back to live</translation>
    </message>
    <message>
        <source>图表显示的是一次保存的运行（只读）。</source>
        <translation>The chart shows a stored run (read-only).</translation>
    </message>
    <message>
        <source>图表显示的是实时运行。</source>
        <translation>The chart shows the live run.</translation>
    </message>
    <message>
        <source>这次运行正由另一个程序记录，不能删除；它结束后才可以删除。</source>
        <translation>This run is being recorded by another program and cannot be deleted until it has ended.</translation>
    </message>
    <message>
        <source>无法删除这次运行。</source>
        <translation>This run cannot be deleted.</translation>
    </message>
    <message>
        <source>对比</source>
        <translation>Compare</translation>
    </message>
    <message>
        <source>选择 2 到 8 次运行（按住 Ctrl 或 Shift 单击）进行对比</source>
        <translation>Select 2 to 8 runs (click with Ctrl or Shift held) to compare them</translation>
    </message>
    <message>
        <source>报告</source>
        <translation>Report</translation>
    </message>
    <message>
        <source>工作台：%1</source>
        <translation>Bench: %1</translation>
    </message>
</context>
<context>
    <name>RunInterval</name>
    <message>
        <source>%2 的时间“%1”无效：应为本地日期时间（如 2026-12-08T13:05:09）或从运行开始算起的秒数</source>
        <translation>bad time '%1' for %2: a local date-time such as 2026-12-08T13:05:09 or seconds from the run's start</translation>
    </message>
    <message>
        <source>%2 的时间 %1 在运行 %4 中出现了 %3 次（运行期间时钟被调回过）：请改用从运行开始算起的秒数（%5）</source>
        <translation>the time %1 for %2 occurs %3 times in run %4 (the clock was set back during it): give seconds from the run's start instead (%5)</translation>
    </message>
    <message>
        <source> 或 </source>
        <translation> or </translation>
    </message>
</context>
<context>
    <name>RunJournal</name>
    <message>
        <source>数据文件夹 %1 无法写入：测量记录不会保存到磁盘。</source>
        <translation>The data folder %1 cannot be written: the runs are not kept on disk.</translation>
    </message>
    <message>
        <source>运行记录数据库 %1 已损坏，且无法移走。</source>
        <translation>The run database %1 is damaged and cannot be moved aside.</translation>
    </message>
    <message>
        <source>运行记录数据库来自较新版本的程序，已移至 %1，并新建了数据库。</source>
        <translation>The run database comes from a newer version of this program: it was moved to %1 and a new one was started.</translation>
    </message>
    <message>
        <source>运行记录数据库已损坏或不是数据库，已移至 %1，并新建了数据库。</source>
        <translation>The run database was damaged or not a database: it was moved to %1 and a new one was started.</translation>
    </message>
    <message>
        <source>运行记录数据库正被另一个程序占用：测量记录暂存在内存中，稍后补写。</source>
        <translation>The run database is held by another program: the records are kept in memory and written later.</translation>
    </message>
    <message>
        <source>磁盘已满：测量记录暂存在内存中，有空间后补写。</source>
        <translation>The disk is full: the records are kept in memory and written once there is room.</translation>
    </message>
    <message>
        <source>无法写入运行记录数据库：%1</source>
        <translation>Cannot write the run database: %1</translation>
    </message>
    <message>
        <source>为使运行记录数据库不超过 %1 MB，已删除最早的 %2 次运行。</source>
        <translation>The %2 oldest runs were removed to keep the run database within %1 MB.</translation>
    </message>
    <message>
        <source>设置文件中 %1 的值“%2”无效（应为 1 到 %3 之间的整数，单位 MB）：运行记录数据库的上限使用默认的 %4 MB。</source>
        <translation>The value “%2” of %1 in the settings file is not valid (a whole number of MB from 1 to %3): the run database's cap is the default %4 MB.</translation>
    </message>
    <message>
        <source>运行记录数据库 %1 是一个文件夹，不是文件：测量记录不会保存到磁盘。</source>
        <translation>The run database %1 is a folder, not a file: the runs are not kept on disk.</translation>
    </message>
    <message>
        <source>运行记录数据库 %1 是一个命名管道，不是普通文件：测量记录不会保存到磁盘。</source>
        <translation>The run database %1 is a named pipe, not a regular file: the runs are not kept on disk.</translation>
    </message>
    <message>
        <source>运行记录数据库 %1 是一个设备或套接字，不是普通文件：测量记录不会保存到磁盘。</source>
        <translation>The run database %1 is a device or a socket, not a regular file: the runs are not kept on disk.</translation>
    </message>
    <message>
        <source>运行记录数据库 %1 来自较新版本的程序。</source>
        <translation>The run database %1 comes from a newer version of this program.</translation>
    </message>
    <message>
        <source>无法读取运行记录数据库 %1：%2</source>
        <translation>Cannot read the run database %1: %2</translation>
    </message>
    <message>
        <source>必须保留的运行（正在记录的运行和最近结束的运行）已超过运行记录数据库的上限 %1 MB，已全部保留；可在历史记录中删除不需要的运行，或在设置文件中调高 %2。</source>
        <translation>The runs that must be kept (those recording and the newest finished one) are over the run database's cap of %1 MB: all of them are kept. Delete runs you no longer need in the run history, or raise %2 in the settings file.</translation>
    </message>
    <message>
        <source>运行记录数据库已赶上：至今的每条记录都已保存。</source>
        <translation>The run journal has caught up: every record so far is kept.</translation>
    </message>
    <message>
        <source>运行记录数据库 %1 是一个文件夹，不是数据库文件</source>
        <translation>the run database %1 is a folder, not a database file</translation>
    </message>
    <message>
        <source>运行记录数据库 %1 是一个命名管道，不是数据库文件</source>
        <translation>the run database %1 is a named pipe, not a database file</translation>
    </message>
    <message>
        <source>运行记录数据库 %1 是一个设备，不是数据库文件</source>
        <translation>the run database %1 is a device, not a database file</translation>
    </message>
    <message>
        <source>运行记录数据库 %1 已损坏或不是数据库：读取时不作改动（记录时会将它移开并新建数据库）</source>
        <translation>the run database %1 is damaged or not a database; it is left as it is (recording moves it aside and starts a new one)</translation>
    </message>
    <message>
        <source>运行记录数据库 %1 正被另一个程序占用：请稍后再试</source>
        <translation>the run database %1 is held by another program: try again</translation>
    </message>
</context>
<context>
    <name>RunNotesPanel</name>
    <message>
        <source>筛选：</source>
        <translation>Filter:</translation>
    </message>
    <message>
        <source>按名称、备注和字段筛选</source>
        <translation>Filter by name, notes and fields</translation>
    </message>
    <message>
        <source>被测设备：</source>
        <translation>Device under test:</translation>
    </message>
    <message>
        <source>充电器/电源：</source>
        <translation>Charger/source:</translation>
    </message>
    <message>
        <source>线缆：</source>
        <translation>Cable:</translation>
    </message>
    <message>
        <source>备注：</source>
        <translation>Notes:</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>标记列表</source>
        <translation>Marks</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>重命名标记</source>
        <translation>Rename mark</translation>
    </message>
    <message>
        <source>删除标记</source>
        <translation>Delete mark</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>环境温度应为摄氏度数，如 25 或 -5.5。</source>
        <translation>The ambient temperature is a number of degrees Celsius, such as 25 or -5.5.</translation>
    </message>
    <message>
        <source>无法保存：</source>
        <translation>Cannot save: </translation>
    </message>
    <message>
        <source>标记名称：</source>
        <translation>Name of the mark:</translation>
    </message>
    <message>
        <source>删除标记“%1”？</source>
        <translation>Delete the mark '%1'?</translation>
    </message>
    <message>
        <source>无法删除：</source>
        <translation>Cannot delete: </translation>
    </message>
    <message>
        <source>环境温度 (°C)：</source>
        <translation>Ambient (°C):</translation>
    </message>
</context>
<context>
    <name>RunReport</name>
    <message>
        <source>备注</source>
        <translation>Notes</translation>
    </message>
    <message>
        <source>标记</source>
        <translation>Marks</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>无法生成 PDF</source>
        <translation>Cannot make the PDF</translation>
    </message>
    <message>
        <source>被测设备</source>
        <translation>Device under test</translation>
    </message>
    <message>
        <source>充电器/电源</source>
        <translation>Charger/source</translation>
    </message>
    <message>
        <source>线缆</source>
        <translation>Cable</translation>
    </message>
    <message>
        <source>环境温度</source>
        <translation>Ambient temperature</translation>
    </message>
    <message>
        <source>无法读取运行 %1：%2</source>
        <translation>Cannot read run %1: %2</translation>
    </message>
    <message>
        <source>运行 %1</source>
        <translation>Run %1</translation>
    </message>
    <message>
        <source>仪表</source>
        <translation>Meter</translation>
    </message>
    <message>
        <source>开始</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>结束</source>
        <translation>End</translation>
    </message>
    <message>
        <source>记录中</source>
        <translation>recording</translation>
    </message>
    <message>
        <source>结束原因</source>
        <translation>End reason</translation>
    </message>
    <message>
        <source>汇总</source>
        <translation>Summary</translation>
    </message>
    <message>
        <source>数值</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>时长</source>
        <translation>Duration</translation>
    </message>
    <message>
        <source>记录数</source>
        <translation>Records</translation>
    </message>
    <message>
        <source>电量(Ah)</source>
        <translation>Charge (Ah)</translation>
    </message>
    <message>
        <source>能量(Wh)</source>
        <translation>Energy (Wh)</translation>
    </message>
    <message>
        <source>仪表 CAP 变化(Ah)</source>
        <translation>Meter CAP change (Ah)</translation>
    </message>
    <message>
        <source>仪表 ELE 变化(Wh)</source>
        <translation>Meter ELE change (Wh)</translation>
    </message>
    <message>
        <source>通道</source>
        <translation>Channel</translation>
    </message>
    <message>
        <source>最小</source>
        <translation>Min</translation>
    </message>
    <message>
        <source>最大</source>
        <translation>Max</translation>
    </message>
    <message>
        <source>平均</source>
        <translation>Mean</translation>
    </message>
    <message>
        <source>运行对比</source>
        <translation>Comparison of runs</translation>
    </message>
    <message>
        <source>%1 %2 · 运行 %3 · 报告生成于 %4</source>
        <translation>%1 %2 · run %3 · report of %4</translation>
    </message>
    <message>
        <source>停止条件</source>
        <translation>Stop condition</translation>
    </message>
    <message>
        <source>无（未由条件结束）</source>
        <translation>none (not ended by a condition)</translation>
    </message>
    <message>
        <source>记录频率</source>
        <translation>Recording rate</translation>
    </message>
    <message>
        <source>%1 条/秒</source>
        <translation>%1 records/s</translation>
    </message>
    <message>
        <source>自首条记录起的时间 (时:分:秒)</source>
        <translation>Time since the first record (h:mm:ss)</translation>
    </message>
    <message>
        <source>%1 %2 · 运行对比 %3 · 报告生成于 %4</source>
        <translation>%1 %2 · comparison of runs %3 · report of %4</translation>
    </message>
    <message>
        <source>时间零点</source>
        <translation>Zero of time</translation>
    </message>
    <message>
        <source>各运行的首条记录</source>
        <translation>each run's first record</translation>
    </message>
    <message>
        <source>各运行的首个“%1”标记（没有该标记的运行为其首条记录）</source>
        <translation>each run's first mark “%1” (a run without one: its first record)</translation>
    </message>
    <message>
        <source>自零点起的时间 (时:分:秒)</source>
        <translation>Time since zero (h:mm:ss)</translation>
    </message>
    <message>
        <source>A–B %1 – %2</source>
        <translation>A–B %1 – %2</translation>
    </message>
    <message>
        <source>平均 VBUS</source>
        <translation>Mean VBUS</translation>
    </message>
    <message>
        <source>平均 IBUS</source>
        <translation>Mean IBUS</translation>
    </message>
    <message>
        <source>平均 POWER</source>
        <translation>Mean POWER</translation>
    </message>
    <message>
        <source>第 %1 页，共 %2 页</source>
        <translation>page %1 of %2</translation>
    </message>
    <message>
        <source>无法读取工作台 %1：%2</source>
        <translation>cannot read bench %1: %2</translation>
    </message>
    <message>
        <source>%1 %2 · 工作台 %3 · 报告生成于 %4</source>
        <translation>%1 %2 · bench b%3 · report of %4</translation>
    </message>
    <message>
        <source>工作台 %1</source>
        <translation>Bench b%1</translation>
    </message>
    <message>
        <source>角色</source>
        <translation>Role</translation>
    </message>
    <message>
        <source>%1 · 运行 %2</source>
        <translation>%1 · run %2</translation>
    </message>
    <message>
        <source>输入与输出</source>
        <translation>In and out</translation>
    </message>
</context>
<context>
    <name>StatsPanel</name>
    <message>
        <source>区间统计 A–B</source>
        <translation>Interval A–B</translation>
    </message>
    <message>
        <source>起点</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>终点</source>
        <translation>End</translation>
    </message>
    <message>
        <source>时长</source>
        <translation>Duration</translation>
    </message>
    <message>
        <source>最小</source>
        <translation>Min</translation>
    </message>
    <message>
        <source>最大</source>
        <translation>Max</translation>
    </message>
    <message>
        <source>平均</source>
        <translation>Mean</translation>
    </message>
    <message>
        <source>电量</source>
        <translation>Charge</translation>
    </message>
    <message>
        <source>能量</source>
        <translation>Energy</translation>
    </message>
    <message>
        <source>仪表 CAP 变化</source>
        <translation>Meter CAP change</translation>
    </message>
    <message>
        <source>仪表 ELE 变化</source>
        <translation>Meter ELE change</translation>
    </message>
    <message>
        <source>复制</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>把这些数值以制表符分隔的文本复制到剪贴板</source>
        <translation>Copy these figures to the clipboard as tab-separated text</translation>
    </message>
</context>
<context>
    <name>StopConditions</name>
    <message>
        <source>记录中</source>
        <translation>recording</translation>
    </message>
    <message>
        <source>已停止</source>
        <translation>stopped</translation>
    </message>
    <message>
        <source>仪表已拔出</source>
        <translation>meter unplugged</translation>
    </message>
    <message>
        <source>中断</source>
        <translation>interrupted</translation>
    </message>
    <message>
        <source>条件：%1</source>
        <translation>condition: %1</translation>
    </message>
    <message>
        <source>运行时长达到 %1 秒</source>
        <translation>duration %1 s</translation>
    </message>
    <message>
        <source>电流低于 %1 A 持续 %2 秒</source>
        <translation>current below %1 A for %2 s</translation>
    </message>
    <message>
        <source>电压低于 %1 V</source>
        <translation>voltage below %1 V</translation>
    </message>
    <message>
        <source>电量达到 %1 Ah</source>
        <translation>charge %1 Ah</translation>
    </message>
    <message>
        <source>能量达到 %1 Wh</source>
        <translation>energy %1 Wh</translation>
    </message>
</context>
<context>
    <name>customcoordinates</name>
    <message>
        <source>Form</source>
        <translation>Form</translation>
    </message>
    <message>
        <source>数据轴</source>
        <translation>Data axis</translation>
    </message>
    <message>
        <source>最小值</source>
        <translation>Minimum value</translation>
    </message>
    <message>
        <source>最大值</source>
        <translation>Maximum value</translation>
    </message>
    <message>
        <source>当前状态</source>
        <translation>State</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>启用</source>
        <translation>Enable</translation>
    </message>
    <message>
        <source>Custom Axis</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>saveDataDeal</name>
    <message>
        <source>不是普通文件（例如命名管道或设备）</source>
        <translation>not a regular file (a named pipe or a device, for instance)</translation>
    </message>
</context>
</TS>
