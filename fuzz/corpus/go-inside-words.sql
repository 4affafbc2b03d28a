create procedure [dbo].[sp_MSins_dboCategory]
    @c1 int,
    @c2 nvarchar(50)
as
begin
	insert into [dbo].[Category]([CategoryID], [CargoName]) values (@c1, @c2)
end
GO
create procedure [dbo].[sp_MSupd_dboCategory]
		@c1 int = NULL, @c2 nvarchar(50) = NULL, @pkc1 int = NULL, @bitmap binary(1)
as
begin
update [dbo].[Category] set
		[CargoName] = case substring(@bitmap,1,1) & 2 when 2 then @c2 else [CargoName] end
	where [CategoryID] = @pkc1
if @@rowcount = 0
    if @@microsoftversion>0x07320000
        exec sp_MSreplraiserror 20598
end
GO
create procedure [dbo].[sp_MSdel_dboLogonAudit]
		@pkc1 int
as
begin
	delete [dbo].[LogonAudit]
	where [LogonID] = @pkc1
if @@rowcount = 0
    if @@microsoftversion>0x07320000
        exec sp_MSreplraiserror 20598
end
GO
