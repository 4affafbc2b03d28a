GO
create procedure [sp_MSupd_dboRegion]     @c1 int = NULL,     @c2 nvarchar(100) = NULL,     @pkc1 int = NULL,     @bitmap binary(1)
as
begin   	declare @primarykey_text nvarchar(100) = '' if (substring(@bitmap,1,1) & 1 = 1)
begin  update [dbo].[Region] set     [RegionID] = case substring(@bitmap,1,1) & 1 when 1 then @c1 else [RegionID] end
	where [RegionID] = @pkc1 if @@rowcount = 0
    if @@microsoftversion>0x07320000
		Begin
			if exists (Select * from sys.all_parameters where object_id = OBJECT_ID('sp_MSreplraiserror') and [name] = '@param3')
			Begin
				set @primarykey_text = @primarykey_text + '[RegionID] = ' + convert(nvarchar(100),@pkc1,1)
				exec sp_MSreplraiserror @errorid=20598, @param1=N'[dbo].[Region]', @param2=@primarykey_text, @param3=13233
			End
			Else
				exec sp_MSreplraiserror @errorid=20598
		End end   else
begin  update [dbo].[Region] set     [Name] = case substring(@bitmap,1,1) & 2 when 2 then @c2 else [Name] end
	where [RegionID] = @pkc1 if @@rowcount = 0
    if @@microsoftversion>0x07320000
        exec sp_MSreplraiserror 20598 end  end   --
GO
create procedure [dbo].[sp_MSdel_dboRegion]     @pkc1 int
as
begin   	delete [dbo].[Region]
where [RegionID] = @pkc1 if @@rowcount = 0
    if @@microsoftversion>0x07320000
        exec sp_MSreplraiserror 20598 end    --
GO
